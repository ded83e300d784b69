// The counter log: listens to the line and writes one row per station per poll
// cycle in which at least one read of that station succeeded, when that cycle
// ends.
//
// The row is one rendering of the station's reading (ReadingBuilder); the same
// reading goes to onReading, so another rendering (a published message) cannot
// disagree with the row. The host (window or headless) tells the multipliers in
// force and the poll interval; the log never reaches into a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/line_event.h"
#include "log/log_row.h"
#include "log/reading_builder.h"

namespace tally {

class LogFile;

class CounterLog : public LineListener {
  public:
    using ContextSource = ReadingBuilder::ContextSource;
    using TimeFormat = std::function<std::string(std::int64_t utcMs)>;

    // `file` must be open; `time` formats an event's instant (FormatLocalLogTime
    // when empty).
    CounterLog(LogFile& file, ContextSource context, TimeFormat time = {});

    void OnLineEvent(const LineEvent& event) override;

    // Cycles still gathering are written now (the line is going away).
    void Finish();

    std::int64_t Rows() const { return rows_; }
    // The write failed: no more rows are taken.
    bool Failed() const { return failed_; }

    std::function<void()> onRow;
    // Once, with the reason, when a row could not be written.
    std::function<void(const std::string& reason)> onFailed;
    // Every reading a row was made from, also when its write failed.
    std::function<void(const StationReading& reading)> onReading;

  private:
    void write(const StationReading& reading);

    LogFile& file_;
    TimeFormat time_;
    ReadingBuilder readings_;
    std::int64_t rows_ = 0;
    bool failed_ = false;
};

}  // namespace tally
