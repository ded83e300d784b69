// How late replies reach the program after the earliest moment they could be whole:
// the module's own turnaround plus the adapter's hand-over (a USB adapter passes
// what it received in bursts, a millisecond to tens of milliseconds apart). The
// first look at an awaited reply comes this much after its earliest moment, so it
// usually finds the reply whole and the program wakes once for it, not twice.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tally {

class HandOverDelay {
  public:
    // Never waits longer than this for the first look: a line with a slower
    // hand-over wakes the program twice rather than delay every reply more.
    static constexpr std::int64_t kMaxMicros = 10'000;
    // Less late than this counts as on time: it is the program's own wake-up and
    // the timer's whole milliseconds, not the line, and waiting for it on every
    // reply would cost more time than the odd second wake-up costs work.
    static constexpr std::int64_t kNoticeMicros = 1'000;

    // The wait to add to a reply's earliest moment before the first look.
    std::int64_t Micros() const;
    // The reply was not whole at the first look and became whole this long after
    // its earliest moment.
    void Late(std::int64_t micros);
    // The reply was whole at the first look: the wait may have been longer than
    // needed, so it shrinks a little; a late reply puts it back at once.
    void OnTime();

  private:
    void record(std::int64_t micros);
    // The last replies' lateness; the wait is the largest.
    std::array<std::int64_t, 16> recent_{};
    std::size_t next_ = 0;
};

}  // namespace tally
