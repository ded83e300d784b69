// The counter log: listens to the line and writes one row per poll cycle in
// which at least one read succeeded, when that cycle ends.
//
// Values come from the meaning of each successful read in the cycle; a read
// that failed, or was not asked for, leaves its cells empty. The host (window or
// headless) tells the multipliers in force and the poll interval when a row is
// built; the log never reaches into a window.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/line_event.h"
#include "log/counter_rates.h"
#include "log/log_row.h"

namespace tally {

class LogFile;

struct LogContext {
    std::array<double, 8> multipliers{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    int intervalSeconds = 0;  // 0: single reads
};

class CounterLog : public LineListener {
  public:
    using ContextSource = std::function<LogContext()>;
    using TimeFormat = std::function<std::string(std::int64_t utcMs)>;

    // `file` must be open; `time` formats an event's instant (FormatLocalLogTime
    // when empty).
    CounterLog(LogFile& file, ContextSource context, TimeFormat time = {});

    void OnLineEvent(const LineEvent& event) override;

    // A cycle still gathering is written now (the line is going away).
    void Finish();

    std::int64_t Rows() const { return rows_; }
    // The write failed: no more rows are taken.
    bool Failed() const { return failed_; }

    std::function<void()> onRow;
    // Once, with the reason, when a row could not be written.
    std::function<void(const std::string& reason)> onFailed;

  private:
    LogRow& row(const LineEvent& event);
    void takeRead(const LineEvent& event);
    void writeRow();

    LogFile& file_;
    ContextSource context_;
    TimeFormat time_;
    CounterRates rates_;
    std::optional<LogRow> row_;
    std::int64_t rows_ = 0;
    bool failed_ = false;
};

}  // namespace tally
