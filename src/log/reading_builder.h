// Builds each station's poll cycle into one StationReading from the line's
// events; the counter log writes it as a row, the publisher as a message.
//
// Several stations may share a line (a headless run walks a list of them), so
// everything kept between cycles is kept per station: the reading being
// gathered, and the previous counter values the rates are taken from. A clear
// or preset forgets only its own station's previous values; a reopened line
// forgets all of them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>

#include "engine/line_event.h"
#include "log/counter_rates.h"
#include "log/station_reading.h"

namespace tally {

struct LogContext {
    std::array<double, 8> multipliers{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    // Stations with multipliers of their own; the others take `multipliers`.
    std::map<int, std::array<double, 8>> stationMultipliers;
    int intervalSeconds = 0;  // 0: single reads

    const std::array<double, 8>& MultipliersOf(int station) const {
        const auto own = stationMultipliers.find(station);
        return own != stationMultipliers.end() ? own->second : multipliers;
    }
};

class ReadingBuilder : public LineListener {
  public:
    // Asked when a reading's counters are taken: the multipliers and interval then in force.
    using ContextSource = std::function<LogContext()>;

    explicit ReadingBuilder(ContextSource context);

    void OnLineEvent(const LineEvent& event) override;

    // Readings still gathering are handed out now (the line is going away).
    void Finish();

    // Each station's cycle with at least one good read, when that cycle ends.
    std::function<void(const StationReading& reading)> onReading;

  private:
    StationReading& reading(const LineEvent& event);
    void takeRead(const LineEvent& event);
    void finish(int station);

    ContextSource context_;
    std::map<int, CounterRates> rates_;
    std::map<int, StationReading> gathering_;
};

}  // namespace tally
