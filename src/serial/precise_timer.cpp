#include "serial/precise_timer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace tally {

PreciseTimer::PreciseTimer() {
#ifdef __linux__
    // The steady clock is CLOCK_MONOTONIC on Linux: its instants arm the timer as they are.
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        notifier_->setEnabled(false);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this] { fire(); });
        return;
    }
#endif
    fallback_ = std::make_unique<QTimer>();
    fallback_->setSingleShot(true);
    fallback_->setTimerType(Qt::PreciseTimer);
    QObject::connect(fallback_.get(), &QTimer::timeout, fallback_.get(), [this] { fire(); });
}

PreciseTimer::~PreciseTimer() {
    notifier_.reset();
#ifdef __linux__
    if (fd_ >= 0) ::close(fd_);
#endif
}

void PreciseTimer::StartAt(std::chrono::steady_clock::time_point when) {
    armed_ = true;
#ifdef __linux__
    if (fd_ >= 0) {
        // 0 would disarm the timer: an instant already past fires at once.
        const std::int64_t ns = std::max<std::int64_t>(
            1,
            std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count());
        itimerspec expiry{};
        expiry.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        expiry.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &expiry, nullptr);
        notifier_->setEnabled(true);
        return;
    }
#endif
    const double ms =
        std::chrono::duration<double, std::milli>(when - std::chrono::steady_clock::now()).count();
    // Whole milliseconds, rounded up: never before the moment.
    fallback_->start(std::max(0, static_cast<int>(std::ceil(ms))));
}

void PreciseTimer::Stop() {
    if (!armed_) return;
    armed_ = false;
#ifdef __linux__
    if (fd_ >= 0) {
        const itimerspec off{};
        ::timerfd_settime(fd_, 0, &off, nullptr);
        notifier_->setEnabled(false);
        return;
    }
#endif
    fallback_->stop();
}

void PreciseTimer::fire() {
#ifdef __linux__
    if (fd_ >= 0) {
        std::uint64_t expirations = 0;
        // Nothing to read: started anew since the system reported it, and not yet due.
        if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations) return;
        notifier_->setEnabled(false);
    }
#endif
    armed_ = false;
    if (onTimeout) onTimeout();
}

}  // namespace tally
