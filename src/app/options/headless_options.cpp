#include "app/options/headless_options.h"

#include <algorithm>

namespace tally {

std::string HeadlessOptionConflict(const HeadlessOptions& o) {
    const auto polled = [&o](int station) {
        return std::find(o.stations.begin(), o.stations.end(), station) != o.stations.end();
    };
    if (o.protocol != Protocol::Own && polled(0)) {
        return "--station: station 0 is the Modbus broadcast address, which no module answers; "
               "use 1-31 with Modbus";
    }
    for (const auto& own : o.stationMultipliers) {
        if (!polled(own.first)) {
            return "--multiply " + std::to_string(own.first) + ":...: station " +
                   std::to_string(own.first) + " is not in --station";
        }
    }
    return std::string();
}

}  // namespace tally
