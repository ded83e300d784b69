// The window's timers on QTimer.
#pragma once

#include <QTimer>
#include <memory>

#include "engine/timer.h"

namespace tally {

class QtTimer : public Timer {
  public:
    explicit QtTimer(int intervalMs);

    // As with the window timers of old, an enabled timer with interval 0 never ticks.
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }

  private:
    void restart();

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 0;
};

class QtTimerFactory : public TimerFactory {
  public:
    std::unique_ptr<Timer> Create(int intervalMs) override;
};

}  // namespace tally
