// An instant as the people at the machine read it: the local calendar date,
// time of day and offset from UTC.
//
// Every text that shows a time (the log's time column, the line monitor, the
// progress line, the chart) is made from an instant through this one
// conversion, so the hour repeated when summer time ends is never ambiguous:
// the offset belongs to the instant, not to a local time worked back.
#pragma once

#include <cstdint>

namespace tally {

struct LocalTime {
    std::int64_t year = 1970;
    int month = 1;
    int day = 1;
    std::int64_t msOfDay = 0;
    // How far local time is ahead of UTC at that instant.
    int utcOffsetSeconds = 0;
};

// `utcMs`: milliseconds since 1970-01-01T00:00:00Z, in the system's time zone.
LocalTime LocalTimeAt(std::int64_t utcMs);
// The same with a given offset (a test's fixed zone).
LocalTime LocalTimeAt(std::int64_t utcMs, int utcOffsetSeconds);

}  // namespace tally
