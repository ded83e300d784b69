// What the Stations view knows of every station on the line, from the engine's
// events: whether it answers, when it last did, its last values with which of
// them the latest read confirmed, and how many of its requests failed.
//
// It listens from program start and keeps all 32 stations, so a station added to
// the view, or chosen as the main window's, shows what was last heard of it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/line_event.h"
#include "engine/poll_engine.h"
#include "engine/station_health.h"

namespace tally {

class StationTable : public LineListener {
  public:
    enum class Health { NotReadYet, Answering, Lost };

    struct Station {
        Health health = Health::NotReadYet;
        // The last good read's instant (UTC, ms since the epoch).
        std::optional<std::int64_t> lastGoodUtcMs;
        // Index k-1 = channel k, as the last good read of each kind gave them.
        std::array<std::optional<double>, 8> counters{};
        std::array<std::optional<int>, 8> inputs{};
        std::array<std::optional<int>, 8> outputs{};
        // By ReadKind: the latest read of that kind was good. A failed read gives up
        // the rest of its station's reads, so the later kinds are not confirmed either.
        std::array<bool, 3> confirmed{};
        std::int64_t failedRequests = 0;
    };

    // Station 0-31; any other number gives a station never heard of.
    const Station& At(int station) const;

    void OnLineEvent(const LineEvent& event) override;

    // A station's entry changed.
    std::function<void(int station)> onChanged;

  private:
    void takeOutcome(const LineEvent& event);
    void changed(int station);

    std::array<Station, 32> stations_{};
    std::array<bool, 32> answeredThisCycle_{};
    StationHealth health_;
};

// "answering", "lost" or "not read yet".
std::string HealthText(StationTable::Health health);

}  // namespace tally
