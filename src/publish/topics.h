// Where each message goes, under the run's prefix ("tallyscope/cabinet-3"):
//   <prefix>/status             online / offline: the program (retained, the last will)
//   <prefix>/<station>/status   online / offline: the station answers or is lost (retained)
//   <prefix>/<station>/state    one JSON object per station per cycle (retained)
#pragma once

#include <string>

namespace tally {

inline std::string StatusTopic(const std::string& prefix) {
    return prefix + "/status";
}

inline std::string StationStatusTopic(const std::string& prefix, int station) {
    return prefix + "/" + std::to_string(station) + "/status";
}

inline std::string StateTopic(const std::string& prefix, int station) {
    return prefix + "/" + std::to_string(station) + "/state";
}

}  // namespace tally
