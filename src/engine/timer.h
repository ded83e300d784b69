// A periodic timer with the behaviour the window's timers have: while enabled it
// ticks every Interval() milliseconds; enabling, or changing the interval,
// starts the countdown anew.
#pragma once

#include <functional>
#include <memory>

namespace tally {

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    // Called on every tick.
    std::function<void()> onTick;
};

// Makes the timers of a window; tests hand in one that makes ManualTimers.
class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> Create(int intervalMs) = 0;
};

}  // namespace tally
