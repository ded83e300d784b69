#include "engine/clock.h"

namespace tally {

namespace {

// Reads the date and the time of day as one pair: if midnight passes between the
// two readings, the time is read again so the pair never lags a whole day.
void readClock(const Clock& clock, std::int32_t& day, double& seconds) {
    day = clock.Today();
    seconds = clock.SecondsSinceMidnight();
    const std::int32_t after = clock.Today();
    if (after != day) {
        day = after;
        seconds = clock.SecondsSinceMidnight();
    }
}

}  // namespace

double NowStamp(const Clock& clock) {
    std::int32_t day = 0;
    double seconds = 0.0;
    readClock(clock, day, seconds);
    return day + seconds * OneSecond;
}

void WaitSeconds(Clock& clock, float seconds) {
    if (!(seconds > 0.0f)) return;
    const std::int64_t target =
        clock.MonotonicMicros() + static_cast<std::int64_t>(static_cast<double>(seconds) * 1e6);
    for (std::int64_t now = clock.MonotonicMicros(); now < target; now = clock.MonotonicMicros())
        clock.LetEventsRun(static_cast<double>(target - now) / 1e6);
}

}  // namespace tally
