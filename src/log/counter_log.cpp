#include "log/counter_log.h"

#include "log/log_file.h"
#include "log/log_time.h"

namespace tally {
namespace {

bool isPollRead(LineRequest request) {
    return request == LineRequest::ReadCounters || request == LineRequest::ReadInputs ||
           request == LineRequest::ReadOutputs;
}

bool changesCounters(LineRequest request) {
    return request == LineRequest::ClearCounters || request == LineRequest::PresetCounters;
}

template <typename T>
std::array<std::optional<int>, 8> flags(const std::array<std::optional<T>, 8>& channels) {
    std::array<std::optional<int>, 8> values{};
    for (std::size_t i = 0; i < 8; ++i) {
        if (channels[i]) values[i] = static_cast<int>(*channels[i]);
    }
    return values;
}

}  // namespace

CounterLog::CounterLog(LogFile& file, ContextSource context, TimeFormat time)
    : file_(file), context_(std::move(context)), time_(std::move(time)) {
    if (!time_) time_ = FormatLocalLogTime;
}

void CounterLog::OnLineEvent(const LineEvent& event) {
    if (failed_) return;
    switch (event.type) {
        case LineEvent::Type::Opened:
            // Perhaps another module, or the same one after a while: no rate
            // reaches back over a closed line.
            row_.reset();
            rates_.Forget();
            break;
        case LineEvent::Type::Closed:
            Finish();
            rates_.Forget();
            break;
        case LineEvent::Type::Request:
            break;
        case LineEvent::Type::Outcome:
            if (!OutcomeApplies(event.outcome)) break;
            if (changesCounters(event.request)) {
                rates_.Forget();
            } else if (isPollRead(event.request) && event.meaning) {
                takeRead(event);
            }
            break;
        case LineEvent::Type::CycleEnd:
            Finish();
            break;
    }
}

LogRow& CounterLog::row(const LineEvent& event) {
    if (!row_) {
        // The row is stamped with its cycle's first successful read.
        row_.emplace();
        row_->time = time_(event.utcMs);
        row_->station = event.station;
        row_->protocol = event.protocol;
    }
    return *row_;
}

void CounterLog::takeRead(const LineEvent& event) {
    const ReplyMeaning& meaning = *event.meaning;
    switch (meaning.kind) {
        case ReplyMeaning::Kind::Counters: {
            const LogContext context = context_ ? context_() : LogContext{};
            LogRow& r = row(event);
            r.raw = meaning.counters;
            r.rate = rates_.Take(meaning.counters, event.monoMicros, context.intervalSeconds);
            for (std::size_t i = 0; i < 8; ++i) {
                r.scaled[i].reset();
                if (r.raw[i]) r.scaled[i] = *r.raw[i] * context.multipliers[i];
            }
            break;
        }
        case ReplyMeaning::Kind::Inputs:
            row(event).di = flags(meaning.channels);
            break;
        case ReplyMeaning::Kind::Outputs:
            row(event).dout = flags(meaning.channels);
            break;
        default:
            break;
    }
}

void CounterLog::Finish() {
    if (!row_ || failed_) return;
    const std::string line = FormatLogRow(*row_);
    row_.reset();
    if (!file_.Write(line)) {
        failed_ = true;
        if (onFailed) onFailed(file_.Error());
        return;
    }
    ++rows_;
    if (onRow) onRow();
}

}  // namespace tally
