// Whether each polled station answers: a station is lost after three cycles in
// a row without one good reply, and back at its next good reply.
//
// One tracker serves every consumer of the verdict (the headless run's lines on
// standard error, the published station status), so they cannot disagree on
// when a station was lost. Pure: fed one verdict per station per cycle.
#pragma once

#include <array>
#include <vector>

namespace tally {

class StationHealth {
  public:
    static constexpr int kCyclesToLose = 3;

    enum class Change {
        None,
        FirstAnswer,  // the station answered for the first time in this run
        Lost,         // the third cycle in a row without a good reply
        Back,         // a lost station answered again
    };

    // One station's cycle has ended; `answered`: at least one of its reads had a
    // good reply. Stations outside 0-31 are ignored.
    Change CycleEnded(int station, bool answered);

    bool IsLost(int station) const;
    // Lost stations in rising order.
    std::vector<int> LostStations() const;

  private:
    struct State {
        bool answeredOnce = false;
        bool lost = false;
        int silentCycles = 0;
    };
    std::array<State, 32> states_{};
};

}  // namespace tally
