#include "engine/clock.h"

namespace tally {

namespace {

constexpr double kSecondsPerDay = 86400.0;

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

double DeadlineAfter(const Clock& clock, float seconds) {
    std::int32_t day = 0;
    double now = 0.0;
    readClock(clock, day, now);
    return day + (now + static_cast<double>(seconds)) * OneSecond;
}

void WaitSeconds(Clock& clock, float seconds) {
    float target = static_cast<float>(clock.SecondsSinceMidnight()) + seconds;
    if (target >= static_cast<float>(kSecondsPerDay)) {
        target -= static_cast<float>(kSecondsPerDay);
        // The target lies after midnight: first let the clock pass midnight.
        for (double now = clock.SecondsSinceMidnight(); now > kSecondsPerDay / 2;
             now = clock.SecondsSinceMidnight()) {
            clock.LetEventsRun(kSecondsPerDay - now);
        }
    }
    for (float now = static_cast<float>(clock.SecondsSinceMidnight()); now < target;
         now = static_cast<float>(clock.SecondsSinceMidnight())) {
        clock.LetEventsRun(static_cast<double>(target - now));
    }
}

}  // namespace tally
