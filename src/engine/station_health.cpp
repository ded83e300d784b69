#include "engine/station_health.h"

namespace tally {

StationHealth::Change StationHealth::CycleEnded(int station, bool answered) {
    if (station < 0 || station >= static_cast<int>(states_.size())) return Change::None;
    State& s = states_[static_cast<std::size_t>(station)];
    if (answered) {
        s.silentCycles = 0;
        if (s.lost) {
            s.lost = false;
            s.answeredOnce = true;
            return Change::Back;
        }
        if (!s.answeredOnce) {
            s.answeredOnce = true;
            return Change::FirstAnswer;
        }
        return Change::None;
    }
    if (s.lost) return Change::None;
    if (++s.silentCycles < kCyclesToLose) return Change::None;
    s.lost = true;
    return Change::Lost;
}

bool StationHealth::IsLost(int station) const {
    return station >= 0 && station < static_cast<int>(states_.size()) &&
           states_[static_cast<std::size_t>(station)].lost;
}

std::vector<int> StationHealth::LostStations() const {
    std::vector<int> lost;
    for (int station = 0; station < static_cast<int>(states_.size()); ++station) {
        if (IsLost(station)) lost.push_back(station);
    }
    return lost;
}

}  // namespace tally
