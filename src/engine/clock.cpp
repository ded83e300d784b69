#include "engine/clock.h"

namespace tally {

void WaitSeconds(Clock& clock, float seconds) {
    if (!(seconds > 0.0f)) return;
    const std::int64_t target =
        clock.MonotonicMicros() + static_cast<std::int64_t>(static_cast<double>(seconds) * 1e6);
    for (std::int64_t now = clock.MonotonicMicros(); now < target; now = clock.MonotonicMicros())
        clock.LetEventsRun(static_cast<double>(target - now) / 1e6);
}

}  // namespace tally
