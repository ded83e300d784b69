// Times in the log: local ISO 8601 with milliseconds and the offset from UTC
// ("2026-12-06T23:41:07.123+01:00"), so a spreadsheet or pandas reads them
// without guessing and the hour repeated at the end of summer time stays
// unambiguous.
#pragma once

#include <string>

namespace tally {

// stamp: local wall time in days since 1899-12-30 (the engine's stamps);
// utcOffsetSeconds: how far local time is ahead of UTC.
std::string FormatLogTime(double stamp, int utcOffsetSeconds);

// The offset the system's time zone has at that local time.
int LocalUtcOffsetAt(double stamp);

std::string FormatLocalLogTime(double stamp);

}  // namespace tally
