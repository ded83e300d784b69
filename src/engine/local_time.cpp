#include "engine/local_time.h"

#include <QDateTime>

namespace tally {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

LocalTime LocalTimeAt(std::int64_t utcMs, int utcOffsetSeconds) {
    const std::int64_t localMs = utcMs + static_cast<std::int64_t>(utcOffsetSeconds) * 1000;
    const std::int64_t days = floorDiv(localMs, kMsPerDay);
    LocalTime t;
    t.msOfDay = localMs - days * kMsPerDay;
    t.utcOffsetSeconds = utcOffsetSeconds;
    // Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's
    // civil_from_days), so no library's date range gets involved.
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
    return t;
}

LocalTime LocalTimeAt(std::int64_t utcMs) {
    // The zone's rule for this instant (Qt reads the TZ setting afresh).
    const int offset = QDateTime::fromMSecsSinceEpoch(utcMs, Qt::LocalTime).offsetFromUtc();
    return LocalTimeAt(utcMs, offset);
}

}  // namespace tally
