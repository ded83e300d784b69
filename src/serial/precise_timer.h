// A one-shot timer that fires at a moment of the steady clock to the microsecond,
// from the event loop. QTimer counts whole milliseconds from when it is started,
// which would tell every reply up to a millisecond after it could have been read.
#pragma once
#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace tally {

class PreciseTimer {
  public:
    PreciseTimer();
    ~PreciseTimer();
    PreciseTimer(const PreciseTimer&) = delete;
    PreciseTimer& operator=(const PreciseTimer&) = delete;

    // Fires once at `when` (at once if it has passed); a start replaces the last.
    void StartAt(std::chrono::steady_clock::time_point when);
    void Stop();

    std::function<void()> onTimeout;

  private:
    void fire();

    bool armed_ = false;
    int fd_ = -1;  // a timer file where the system has one, else the QTimer is used
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> fallback_;
};

}  // namespace tally
