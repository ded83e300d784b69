// Hands a listener only the events of one station, and the line's opening and
// closing: what belongs to the main window's station while the line is read for
// several.
#pragma once

#include <functional>
#include <utility>

#include "engine/line_event.h"

namespace tally {

class StationFilter : public LineListener {
  public:
    // `station` is asked at each event, so the station may change between them.
    StationFilter(LineListener& target, std::function<int()> station)
        : target_(target), station_(std::move(station)) {}

    void OnLineEvent(const LineEvent& event) override {
        const bool line =
            event.type == LineEvent::Type::Opened || event.type == LineEvent::Type::Closed;
        if (line || event.station == station_()) target_.OnLineEvent(event);
    }

  private:
    LineListener& target_;
    std::function<int()> station_;
};

}  // namespace tally
