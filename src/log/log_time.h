// Times in the log: local ISO 8601 with milliseconds and the offset from UTC
// ("2026-12-06T23:41:07.123+01:00"), so a spreadsheet or pandas reads them
// without guessing and the hour repeated at the end of summer time stays
// unambiguous.
#pragma once

#include <cstdint>
#include <string>

#include "engine/local_time.h"

namespace tally {

std::string FormatLogTime(const LocalTime& time);

// An instant (milliseconds since the epoch, UTC) in the system's time zone.
std::string FormatLocalLogTime(std::int64_t utcMs);

}  // namespace tally
