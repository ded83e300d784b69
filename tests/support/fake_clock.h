// A clock for tests: time moves only when the test (or a wait) moves it.
#pragma once

#include <cmath>
#include <functional>

#include "engine/clock.h"

namespace tally {

class FakeClock : public Clock {
  public:
    std::int32_t Today() const override { return day_; }
    double SecondsSinceMidnight() const override { return seconds_; }
    std::int64_t MonotonicMicros() const override { return monotonicMicros_; }
    std::int64_t UtcMillis() const override {
        return utcMs_ + (monotonicMicros_ - utcBase_) / 1000;
    }

    // A wait moves time on by what it asked for, then runs the hook as the
    // events that would have run meanwhile.
    void LetEventsRun(double seconds) override {
        Advance(seconds);
        if (onEvents) onEvents();
    }

    void PauseMicros(std::int64_t micros) override {
        if (micros > 0) Advance(static_cast<double>(micros) / 1e6);
        pausedMicros += micros > 0 ? micros : 0;
    }

    // Steps the wall clock (a daylight-saving change, an NTP correction) without
    // moving monotonic time.
    void StepWall(double seconds) {
        seconds_ += seconds;
        rollDays();
    }

    // Sets the wall clock; the instant follows as if the zone were UTC.
    void Set(std::int32_t day, double seconds) {
        day_ = day;
        seconds_ = 0.0;
        utcMs_ = (static_cast<std::int64_t>(day) - kUnixEpochDay) * 86'400'000;
        utcBase_ = monotonicMicros_;
        Advance(seconds);
    }

    // Moves time on, rolling over midnight into the next day.
    void Advance(double seconds) {
        if (seconds <= 0.0) return;
        seconds_ += seconds;
        monotonicMicros_ += static_cast<std::int64_t>(seconds * 1e6 + 0.5);
        rollDays();
    }

    std::function<void()> onEvents;
    std::int64_t pausedMicros = 0;

  private:
    void rollDays() {
        const double days = std::floor(seconds_ / 86400.0);
        seconds_ -= days * 86400.0;
        day_ += static_cast<std::int32_t>(days);
    }

    // 1970-01-01 as a day number of Today().
    static constexpr std::int64_t kUnixEpochDay = 25'569;

    std::int32_t day_ = 45000;
    double seconds_ = 12 * 3600.0;
    std::int64_t monotonicMicros_ = 1'000'000'000;
    // 2023-03-15T12:00:00Z, the same moment as the date and time above.
    std::int64_t utcMs_ = 1'678'881'600'000;
    std::int64_t utcBase_ = 1'000'000'000;
};

}  // namespace tally
