#include "log/reading_builder.h"

#include <utility>

#include "numbers/number_text.h"

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

ReadingBuilder::ReadingBuilder(ContextSource context) : context_(std::move(context)) {}

void ReadingBuilder::OnLineEvent(const LineEvent& event) {
    switch (event.type) {
        case LineEvent::Type::Opened:
            // Perhaps other modules, or the same ones after a while: no rate
            // reaches back over a closed line.
            gathering_.clear();
            rates_.clear();
            break;
        case LineEvent::Type::Closed:
            Finish();
            rates_.clear();
            break;
        case LineEvent::Type::Request:
        case LineEvent::Type::LateReply:  // dropped: it never carries a reading
            break;
        case LineEvent::Type::Outcome:
            if (!OutcomeApplies(event.outcome)) break;
            if (changesCounters(event.request)) {
                rates_.erase(event.station);
            } else if (isPollRead(event.request) && event.meaning) {
                takeRead(event);
            }
            break;
        case LineEvent::Type::CycleEnd:
            finish(event.station);
            break;
    }
}

StationReading& ReadingBuilder::reading(const LineEvent& event) {
    const auto found = gathering_.find(event.station);
    if (found != gathering_.end()) return found->second;
    // Stamped with its cycle's first successful read.
    StationReading& r = gathering_[event.station];
    r.utcMs = event.utcMs;
    r.station = event.station;
    r.protocol = event.protocol;
    return r;
}

void ReadingBuilder::takeRead(const LineEvent& event) {
    const ReplyMeaning& meaning = *event.meaning;
    switch (meaning.kind) {
        case ReplyMeaning::Kind::Counters: {
            const LogContext context = context_ ? context_() : LogContext{};
            const std::array<double, 8>& multipliers = context.MultipliersOf(event.station);
            StationReading& r = reading(event);
            r.raw = meaning.counters;
            r.rate = rates_[event.station].Take(meaning.counters, event.monoMicros,
                                                context.intervalSeconds);
            for (std::size_t i = 0; i < 8; ++i) {
                r.scaled[i].reset();
                if (r.raw[i]) r.scaled[i] = Scaled(*r.raw[i], multipliers[i]);
            }
            break;
        }
        case ReplyMeaning::Kind::Inputs:
            reading(event).di = flags(meaning.channels);
            break;
        case ReplyMeaning::Kind::Outputs:
            reading(event).dout = flags(meaning.channels);
            break;
        default:
            break;
    }
}

void ReadingBuilder::finish(int station) {
    const auto found = gathering_.find(station);
    if (found == gathering_.end()) return;
    const StationReading done = std::move(found->second);
    gathering_.erase(found);
    if (onReading) onReading(done);
}

void ReadingBuilder::Finish() {
    while (!gathering_.empty())
        finish(gathering_.begin()->first);
}

}  // namespace tally
