// Where the trend chart's time axis puts its ticks: on round local times, as
// every clock and chart an operator knows does (whole minutes on "10 min", whole
// hours on "8 h"), never on the odd instants an even division of the span gives.
//
// Pure: the instants are UTC milliseconds since the epoch and the offset from
// UTC at each instant is an argument (the system's zone in the window), so a
// day with a clock change is tested like any other.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace tally {

// The step between ticks for a span shown: 10 s on a minute, 2 min on ten
// minutes, 10 min on an hour, 1 h on the longer spans (the chart keeps eight hours).
int TimeTickSeconds(int spanSeconds);

// How far local time is ahead of UTC at an instant, in seconds.
using UtcOffsetAt = std::function<int(std::int64_t utcMs)>;
// The system's time zone, as every time shown is made (LocalTimeAt).
int SystemUtcOffsetAt(std::int64_t utcMs);

// The instants in [endUtcMs - spanSeconds, endUtcMs] whose local time is a
// whole multiple of the step since local midnight, oldest first. In the hour
// repeated in autumn both instants of a round time are ticks; a round time that
// the spring change skips has none.
std::vector<std::int64_t> TimeAxisTicks(std::int64_t endUtcMs, int spanSeconds,
                                        const UtcOffsetAt& offsetAt = SystemUtcOffsetAt);

// A tick's label: local "hh:mm:ss" on steps under a minute, else "hh:mm".
QString TimeTickLabel(std::int64_t utcMs, int spanSeconds,
                      const UtcOffsetAt& offsetAt = SystemUtcOffsetAt);

}  // namespace tally
