#include "log/log_time.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tally {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// 1970-01-01 as a day number of the stamps.
constexpr std::int64_t kUnixEpochDay = 25'569;

struct LocalTime {
    std::int64_t year;
    int month;
    int day;
    std::int64_t msOfDay;
};

// Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's
// civil_from_days), so no library's date range or time zone gets involved.
LocalTime splitStamp(double stamp) {
    if (!std::isfinite(stamp)) stamp = 0.0;
    std::int64_t days = static_cast<std::int64_t>(std::floor(stamp));
    std::int64_t ms = std::llround((stamp - static_cast<double>(days)) * kMsPerDay);
    if (ms >= kMsPerDay) {  // rounded up to the next midnight
        ms -= kMsPerDay;
        ++days;
    }
    const std::int64_t z = days - kUnixEpochDay + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day, ms};
}

}  // namespace

std::string FormatLogTime(double stamp, int utcOffsetSeconds) {
    const LocalTime t = splitStamp(stamp);
    const int offsetMinutes = std::abs(utcOffsetSeconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  static_cast<long long>(t.year), t.month, t.day,
                  static_cast<int>(t.msOfDay / 3'600'000),
                  static_cast<int>(t.msOfDay / 60'000 % 60),
                  static_cast<int>(t.msOfDay / 1000 % 60), static_cast<int>(t.msOfDay % 1000),
                  utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return text;
}

int LocalUtcOffsetAt(double stamp) {
    const LocalTime t = splitStamp(stamp);
    const QDate date(static_cast<int>(t.year), t.month, t.day);
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(t.msOfDay));
    return QDateTime(date, time, Qt::LocalTime).offsetFromUtc();
}

std::string FormatLocalLogTime(double stamp) {
    return FormatLogTime(stamp, LocalUtcOffsetAt(stamp));
}

}  // namespace tally
