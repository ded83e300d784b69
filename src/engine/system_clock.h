// The computer's own clock, with waits that keep the window responsive.
#pragma once

#include "engine/clock.h"

namespace tally {

class SystemClock : public Clock {
  public:
    std::int32_t Today() const override;
    double SecondsSinceMidnight() const override;
    std::int64_t UtcMillis() const override;
    std::int64_t MonotonicMicros() const override;
    // Runs an event loop until a single-shot timer ends it: no spinning, no sleeping
    // while there is an event loop to run.
    void LetEventsRun(double seconds) override;
    void PauseMicros(std::int64_t micros) override;
};

}  // namespace tally
