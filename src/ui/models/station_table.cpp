#include "ui/models/station_table.h"

namespace tally {
namespace {

bool Listed(int station) {
    return station >= 0 && station < 32;
}

std::optional<ReadKind> KindRead(LineRequest request) {
    switch (request) {
        case LineRequest::ReadCounters:
            return ReadKind::Counters;
        case LineRequest::ReadInputs:
            return ReadKind::Inputs;
        case LineRequest::ReadOutputs:
            return ReadKind::Outputs;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::string HealthText(StationTable::Health health) {
    switch (health) {
        case StationTable::Health::Answering:
            return "answering";
        case StationTable::Health::Lost:
            return "lost";
        case StationTable::Health::NotReadYet:
            break;
    }
    return "not read yet";
}

const StationTable::Station& StationTable::At(int station) const {
    static const Station kNeverHeard;
    return Listed(station) ? stations_[static_cast<std::size_t>(station)] : kNeverHeard;
}

void StationTable::OnLineEvent(const LineEvent& event) {
    switch (event.type) {
        case LineEvent::Type::Opened:
            // A new run on the line: who answers is learnt afresh; the values stay, unconfirmed.
            health_ = StationHealth();
            answeredThisCycle_.fill(false);
            for (int s = 0; s < 32; ++s) {
                Station& station = stations_[static_cast<std::size_t>(s)];
                station.health = Health::NotReadYet;
                station.confirmed.fill(false);
                station.failedRequests = 0;
                changed(s);
            }
            return;
        case LineEvent::Type::Closed:
            for (int s = 0; s < 32; ++s) {
                stations_[static_cast<std::size_t>(s)].confirmed.fill(false);
                changed(s);
            }
            return;
        case LineEvent::Type::Outcome:
            takeOutcome(event);
            return;
        case LineEvent::Type::CycleEnd: {
            if (!Listed(event.station)) return;
            const auto s = static_cast<std::size_t>(event.station);
            const StationHealth::Change change =
                health_.CycleEnded(event.station, answeredThisCycle_[s]);
            answeredThisCycle_[s] = false;
            if (change == StationHealth::Change::Lost) stations_[s].health = Health::Lost;
            if (change == StationHealth::Change::FirstAnswer ||
                change == StationHealth::Change::Back)
                stations_[s].health = Health::Answering;
            if (change != StationHealth::Change::None) changed(event.station);
            return;
        }
        case LineEvent::Type::Request:
        case LineEvent::Type::LateReply:
            return;
    }
}

void StationTable::takeOutcome(const LineEvent& event) {
    // Find Module's probes ask stations the line is not polling.
    if (event.request == LineRequest::Probe || !Listed(event.station)) return;
    const auto s = static_cast<std::size_t>(event.station);
    Station& station = stations_[s];
    const std::optional<ReadKind> kind = KindRead(event.request);
    if (!OutcomeApplies(event.outcome)) {
        ++station.failedRequests;
        if (kind) {
            for (std::size_t k = static_cast<std::size_t>(*kind); k < 3; ++k)
                station.confirmed[k] = false;
        }
        changed(event.station);
        return;
    }
    answeredThisCycle_[s] = true;
    if (!kind || !event.meaning) return;
    station.lastGoodUtcMs = event.utcMs;
    station.confirmed[static_cast<std::size_t>(*kind)] = true;
    const ReplyMeaning& meaning = *event.meaning;
    for (std::size_t i = 0; i < 8; ++i) {
        switch (*kind) {
            case ReadKind::Counters:
                if (meaning.counters[i]) station.counters[i] = *meaning.counters[i];
                break;
            case ReadKind::Inputs:
                if (meaning.channels[i]) station.inputs[i] = *meaning.channels[i];
                break;
            case ReadKind::Outputs:
                if (meaning.channels[i]) station.outputs[i] = *meaning.channels[i];
                break;
        }
    }
    changed(event.station);
}

void StationTable::changed(int station) {
    if (onChanged) onChanged(station);
}

}  // namespace tally
