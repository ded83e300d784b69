// Time as the program sees it: the instant (UTC) for what is shown or written,
// a monotonic clock for every deadline and wait.
//
// Injected everywhere time matters so that tests run on a fake clock and
// never wait for real.
#pragma once

#include <cstdint>

namespace tally {

class Clock {
  public:
    virtual ~Clock() = default;
    // Calendar date as a day number (days since 1899-12-30, so the stamps look
    // like the usual date serials); only differences matter.
    virtual std::int32_t Today() const = 0;
    virtual double SecondsSinceMidnight() const = 0;
    // The instant, in milliseconds since 1970-01-01T00:00:00Z: what events carry
    // for anything shown or written. Local time is made from it only where text is.
    virtual std::int64_t UtcMillis() const = 0;
    // Microseconds on a clock that never steps back or jumps with the wall clock;
    // only differences matter. Deadlines and reply times are measured on it.
    virtual std::int64_t MonotonicMicros() const = 0;
    // Let pending window events run for at most `seconds`, then return. The real
    // clock sleeps in an event loop (no spinning); the fake one moves time on.
    virtual void LetEventsRun(double seconds) = 0;
    // Returns after `micros` of monotonic time without letting any event run:
    // only for waits of a millisecond or so, where a timer is too coarse.
    virtual void PauseMicros(std::int64_t micros) = 0;
};

// Returns after `seconds` of monotonic time, letting events run meanwhile.
void WaitSeconds(Clock& clock, float seconds);

}  // namespace tally
