// One logging run, driven the same way by the window and by the headless host:
// the file, the counter log listening on the engine's events, and the words
// that say how it stands.
//
// Logging ends when the operator stops it, when the port closes (the file is
// then complete), or when a row cannot be written; polling is never touched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/line_event.h"
#include "log/counter_log.h"
#include "log/log_file.h"

namespace tally {

class LogSession : public LineListener {
  public:
    LogSession(LineEvents& events, CounterLog::ContextSource context,
               CounterLog::TimeFormat time = {});
    ~LogSession() override;
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;

    // Opens the file and starts listening. Empty on success, otherwise why not.
    std::string Start(const std::string& path);
    // Writes a cycle still gathering and closes the file. `why` says why it
    // stopped when the operator did not ask for it.
    void Stop(const std::string& why = {});
    // Log rotation, for a run that is told when its file was renamed away: set
    // before Start(); Reopen() then begins the file anew at its path, rows
    // continuing without a gap. Reopen() returns why it failed (logging then
    // stops), or "".
    void SetRotatable(bool rotatable) { file_.SetRotatable(rotatable); }
    std::string Reopen();

    void OnLineEvent(const LineEvent& event) override;

    bool Logging() const { return active_; }
    // The last run's rows, also after it stopped.
    std::int64_t Rows() const { return rows_; }
    // Why the last run stopped or could not start; empty when the operator stopped it.
    const std::string& StopReason() const { return stopReason_; }
    // True when the last run ended because a row could not be written.
    bool WriteFailed() const { return writeFailed_; }
    // "Not logging", "Logging to <file>: <n> rows", or why logging stopped.
    std::string StateText() const;

    // A row was written, or logging started or stopped.
    std::function<void()> onChanged;
    // Each station's reading as its row is written (a publisher renders the same value).
    std::function<void(const StationReading& reading)> onReading;

  private:
    LineEvents& events_;
    CounterLog::ContextSource context_;
    CounterLog::TimeFormat time_;
    LogFile file_;
    // Kept until the next run: it may be the caller of Stop().
    std::unique_ptr<CounterLog> log_;
    bool active_ = false;
    std::string path_;
    std::string stopReason_;
    std::int64_t rows_ = 0;
    bool started_ = false;
    bool writeFailed_ = false;
};

}  // namespace tally
