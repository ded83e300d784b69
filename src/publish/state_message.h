// A station's cycle as the JSON object published on <prefix>/<station>/state:
// the CSV row's meaning with the CSV's numbers, null where the row has an
// empty cell.
//   {"time":"2026-12-07T14:03:00.120+01:00","station":1,"protocol":"korvi",
//    "raw":[1500,...],"scaled":[3750.0,...],"rate":[0.5,...],"di":[0,1,...],"do":[...]}
#pragma once

#include <string>

#include "log/station_reading.h"

namespace tally {

// `time`: the reading's instant as the log writes it (local ISO 8601 with offset).
std::string StateMessage(const StationReading& reading, const std::string& time);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace tally
