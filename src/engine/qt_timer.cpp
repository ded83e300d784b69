#include "engine/qt_timer.h"

namespace tally {

QtTimer::QtTimer(int intervalMs) : interval_(intervalMs < 0 ? 0 : intervalMs) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (enabled_ && onTick) onTick();
    });
}

void QtTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    restart();
}

void QtTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds < 0 ? 0 : milliseconds;
    if (enabled_) restart();
}

void QtTimer::restart() {
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

std::unique_ptr<Timer> QtTimerFactory::Create(int intervalMs) {
    return std::make_unique<QtTimer>(intervalMs);
}

}  // namespace tally
