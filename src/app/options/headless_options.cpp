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
    for (const auto& [station, actions] : o.mqtt.allow) {
        const std::string s = std::to_string(station);
        if (!polled(station)) return "--allow " + s + ":...: station " + s + " is not in --station";
        // The module's own protocol alone has frames for these, as in the window.
        const unsigned ownOnly = actions & ~static_cast<unsigned>(CommandAction::Do);
        if (o.protocol != Protocol::Own && ownOnly != 0) {
            std::string names;
            for (const CommandAction action : kCommandActions) {
                if ((ownOnly & static_cast<unsigned>(action)) != 0)
                    names += (names.empty() ? "" : ",") + std::string(CommandActionName(action));
            }
            return "--allow " + s + ":" + names +
                   ": under Modbus only do can be allowed (clear, preset and enable exist in the "
                   "Korvi protocol only)";
        }
    }
    return std::string();
}

}  // namespace tally
