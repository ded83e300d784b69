#include "log/log_time.h"

#include <cstdio>
#include <cstdlib>

namespace tally {

std::string FormatLogTime(const LocalTime& t) {
    const int offsetMinutes = std::abs(t.utcOffsetSeconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  static_cast<long long>(t.year), t.month, t.day,
                  static_cast<int>(t.msOfDay / 3'600'000),
                  static_cast<int>(t.msOfDay / 60'000 % 60),
                  static_cast<int>(t.msOfDay / 1000 % 60), static_cast<int>(t.msOfDay % 1000),
                  t.utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return text;
}

std::string FormatLocalLogTime(std::int64_t utcMs) {
    return FormatLogTime(LocalTimeAt(utcMs));
}

}  // namespace tally
