// A logging run with no window and no display.
//
// The host stands where the window stands for the engine (PollHost): the same
// poll engine, serial component and counter log, with the command-line options
// in place of the controls. It never reads or writes the settings file.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/headless/headless_commands.h"
#include "app/headless/headless_publishing.h"
#include "app/options/headless_options.h"
#include "engine/line_driver.h"
#include "engine/main_state.h"
#include "engine/poll_engine.h"
#include "engine/station_health.h"
#include "log/log_session.h"

namespace tally {

class HeadlessHost : public MainState, public PollHost, public LineListener {
  public:
    // `say` takes one line for standard error, without its line end.
    HeadlessHost(const HeadlessOptions& options, SerialComponent& port, Clock& clock,
                 TimerFactory& timers, std::function<void(const std::string&)> say);
    ~HeadlessHost() override;

    // Opens the log, then the port, and starts polling. False when the run
    // ended at once; ExitCode() then says why.
    bool Start();
    // Ends the run once the exchange in flight is over: the port is closed and
    // the log complete. The first call's exit code counts, except that a log
    // that could not be written always ends the run with kExitLog.
    void Stop(int exitCode, const std::string& why = {});

    // Log rotation: the CSV file begins anew at its path (SIGHUP).
    void ReopenLog();

    bool Finished() const { return finished_; }
    int ExitCode() const { return exitCode_; }
    // Called once, when the run has ended.
    std::function<void()> onFinished;

    // "<time> 60 cycles, 480 rows, 3 failed requests (station 7: 3), cycle 412 ms
    // median, 431 ms max, lost: station 7, last: Read OK"; the cycle times are
    // those since the line before.
    std::string ProgressLine();

    // --- PollHost ---
    bool LineOpen() const override { return lineOpen_; }
    bool ReadTicked() const override { return reading_; }
    void UntickRead() override { reading_ = false; }
    int ReadBoxValue(ReadKind kind) const override;
    void ShowStatus(const std::string& text) override { status_ = text; }
    void DecodeReply() override;
    void ApplyReply(const ReplyMeaning& meaning) override;
    void ClearBusyMarkers() override {}
    int CounterSelectorNumber() const override { return 0; }
    void PortFailed(const std::string& reason) override;

    // --- LineListener: cycles and failed requests, for --cycles and the progress line ---
    void OnLineEvent(const LineEvent& event) override;

  private:
    std::string portName() const;
    LogContext logContext() const;
    void closeWhenLineFree();
    void stationCycleEnded(const LineEvent& event);
    void finish();
    void finished();

    HeadlessOptions options_;
    SerialComponent& port_;
    Clock& clock_;
    std::function<void(const std::string&)> say_;
    std::unique_ptr<LineDriver> line_;
    PollEngine* engine_ = nullptr;
    Timer* tmrRead_ = nullptr;
    Timer* tmrNow_ = nullptr;
    std::unique_ptr<LogSession> log_;
    std::unique_ptr<HeadlessPublishing> publishing_;  // with --mqtt
    std::unique_ptr<HeadlessCommands> commands_;      // with --allow
    QTimer lineWait_;
    std::int64_t lineWaitStartMicros_ = 0;
    bool lineOpen_ = false;
    bool reading_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    int exitCode_ = kExitDone;
    // Why the run ended, in the order the reasons came; said when it has.
    std::vector<std::string> reasons_;
    bool logFailureTold_ = false;
    std::string status_;
    std::int64_t cycles_ = 0;
    std::map<int, std::int64_t> failedRequests_;
    // Stations with a good reply in their part of the cycle so far.
    std::set<int> answered_;
    StationHealth health_;
    std::optional<std::int64_t> cycleStartMicros_;
    std::vector<std::int64_t> cycleMicros_;
};

// The whole run: QCoreApplication's loop, Ctrl+C and SIGTERM, SIGHUP reopening
// the log, a progress line a minute on standard error. Returns the exit code. Needs a
// QCoreApplication.
int RunHeadless(const HeadlessOptions& options);

}  // namespace tally
