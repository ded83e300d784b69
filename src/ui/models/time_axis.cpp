#include "ui/models/time_axis.h"

#include <algorithm>
#include <numeric>

#include "engine/local_time.h"

namespace tally {
namespace {

// Every UTC offset in use is a whole number of quarter hours.
constexpr std::int64_t kOffsetGrain = 900;

// Floor division, for instants before 1970 too.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

int TimeTickSeconds(int spanSeconds) {
    if (spanSeconds <= 60) return 10;
    if (spanSeconds <= 600) return 120;
    if (spanSeconds <= 3600) return 600;
    return 3600;
}

int SystemUtcOffsetAt(std::int64_t utcMs) {
    return LocalTimeAt(utcMs).utcOffsetSeconds;
}

std::vector<std::int64_t> TimeAxisTicks(std::int64_t endUtcMs, int spanSeconds,
                                        const UtcOffsetAt& offsetAt) {
    std::vector<std::int64_t> ticks;
    if (spanSeconds <= 0) return ticks;
    const std::int64_t step = TimeTickSeconds(spanSeconds);
    // Candidates on a grid that every round local time lies on, whatever the
    // offset: each is then tested in local time, which a clock change moves.
    const std::int64_t grain = std::gcd(step, kOffsetGrain);
    const std::int64_t fromMs = endUtcMs - std::int64_t{spanSeconds} * 1000;
    const std::int64_t first = FloorDiv(fromMs + grain * 1000 - 1, grain * 1000);
    const std::int64_t last = FloorDiv(endUtcMs, grain * 1000);
    for (std::int64_t n = first; n <= last; ++n) {
        const std::int64_t utcSeconds = n * grain;
        const std::int64_t local = utcSeconds + offsetAt(utcSeconds * 1000);
        if (local - FloorDiv(local, step) * step == 0) ticks.push_back(utcSeconds * 1000);
    }
    return ticks;
}

QString TimeTickLabel(std::int64_t utcMs, int spanSeconds, const UtcOffsetAt& offsetAt) {
    const std::int64_t ms = LocalTimeAt(utcMs, offsetAt(utcMs)).msOfDay;
    const auto part = [](std::int64_t value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    QString label = part(ms / 3'600'000) + QLatin1Char(':') + part(ms / 60'000 % 60);
    if (TimeTickSeconds(spanSeconds) < 60) label += QLatin1Char(':') + part(ms / 1000 % 60);
    return label;
}

}  // namespace tally
