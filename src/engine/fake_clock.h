// A clock for tests: time moves only when the test (or a wait) moves it.
#pragma once

#include <functional>

#include "engine/clock.h"

namespace tally {

class FakeClock : public Clock {
  public:
    std::int32_t Today() const override { return day_; }
    double SecondsSinceMidnight() const override { return seconds_; }
    std::int64_t MonotonicMicros() const override { return monotonicMicros_; }

    // A wait moves time on by what it asked for, then runs the hook as the
    // events that would have run meanwhile.
    void LetEventsRun(double seconds) override {
        ++letEventsRunCalls;
        Advance(seconds);
        if (onEvents) onEvents();
    }

    // Steps the wall clock (a daylight-saving change, an NTP correction) without
    // moving monotonic time.
    void StepWall(double seconds) {
        seconds_ += seconds;
        while (seconds_ < 0.0) {
            seconds_ += 86400.0;
            --day_;
        }
        while (seconds_ >= 86400.0) {
            seconds_ -= 86400.0;
            ++day_;
        }
    }

    void Set(std::int32_t day, double seconds) {
        day_ = day;
        seconds_ = 0.0;
        Advance(seconds);
    }

    // Moves time on, rolling over midnight into the next day.
    void Advance(double seconds) {
        if (seconds > 0.0) {
            seconds_ += seconds;
            monotonicMicros_ += static_cast<std::int64_t>(seconds * 1e6 + 0.5);
        }
        while (seconds_ >= 86400.0) {
            seconds_ -= 86400.0;
            ++day_;
        }
    }

    std::function<void()> onEvents;
    int letEventsRunCalls = 0;

  private:
    std::int32_t day_ = 45000;
    double seconds_ = 12 * 3600.0;
    std::int64_t monotonicMicros_ = 1'000'000'000;
};

}  // namespace tally
