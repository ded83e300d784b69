#include "engine/system_clock.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QEventLoop>
#include <QTime>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <thread>

namespace tally {

namespace {

// Day 0 of the date serials the stamps use.
const QDate kDayZero(1899, 12, 30);

// At least one millisecond, so a tiny remainder still yields instead of spinning;
// at most a day, which no caller asks for.
int waitMilliseconds(double seconds) {
    if (!(seconds > 0.0)) return 1;
    const double ms = std::ceil(seconds * 1000.0);
    if (ms < 1.0) return 1;
    if (ms > 86400000.0) return 86400000;
    return static_cast<int>(ms);
}

}  // namespace

std::int32_t SystemClock::Today() const {
    return static_cast<std::int32_t>(kDayZero.daysTo(QDate::currentDate()));
}

double SystemClock::SecondsSinceMidnight() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

std::int64_t SystemClock::UtcMillis() const {
    return QDateTime::currentMSecsSinceEpoch();
}

std::int64_t SystemClock::MonotonicMicros() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SystemClock::PauseMicros(std::int64_t micros) {
    if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void SystemClock::LetEventsRun(double seconds) {
    const int ms = waitMilliseconds(seconds);
    if (QCoreApplication::instance() == nullptr) {
        // Without an application there are no events to run.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace tally
