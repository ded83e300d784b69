// A timer for tests: it ticks only when the test fires it.
#pragma once

#include <memory>
#include <vector>

#include "engine/timer.h"

namespace tally {

class ManualTimer : public Timer {
  public:
    explicit ManualTimer(int intervalMs = 0) : interval_(intervalMs) {}

    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override { interval_ = milliseconds; }
    int Interval() const override { return interval_; }

    // One tick, as the event loop would deliver it: only while enabled.
    // Returns whether the tick ran.
    bool Fire() {
        if (!enabled_ || !onTick) return false;
        onTick();
        return true;
    }

  private:
    bool enabled_ = false;
    int interval_ = 0;
};

class ManualTimerFactory : public TimerFactory {
  public:
    std::unique_ptr<Timer> Create(int intervalMs) override {
        auto timer = std::make_unique<ManualTimer>(intervalMs);
        created.push_back(timer.get());
        return timer;
    }
    // Every timer made, in order of creation (owned by whoever asked for it).
    std::vector<ManualTimer*> created;
};

}  // namespace tally
