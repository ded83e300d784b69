#include "log/counter_log.h"

#include "log/log_file.h"
#include "log/log_time.h"

namespace tally {

CounterLog::CounterLog(LogFile& file, ContextSource context, TimeFormat time)
    : file_(file), time_(std::move(time)), readings_(std::move(context)) {
    if (!time_) time_ = FormatLocalLogTime;
    readings_.onReading = [this](const StationReading& reading) { write(reading); };
}

void CounterLog::OnLineEvent(const LineEvent& event) {
    if (failed_) return;
    readings_.OnLineEvent(event);
}

void CounterLog::Finish() {
    if (!failed_) readings_.Finish();
}

void CounterLog::write(const StationReading& reading) {
    if (onReading) onReading(reading);
    if (failed_) return;
    if (!file_.Write(FormatLogRow(reading, time_(reading.utcMs)))) {
        failed_ = true;
        if (onFailed) onFailed(file_.Error());
        return;
    }
    ++rows_;
    if (onRow) onRow();
}

}  // namespace tally
