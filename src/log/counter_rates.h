// Counts per second of the eight counters, from one reading to the next.
//
// The module's counters are 32-bit and wrap to 0, so the difference between two
// readings is taken modulo 2^32. A reading lower than the one before by more
// than a wrap can explain (a counter cleared or preset elsewhere, a module that
// restarted) gives no rate rather than billions of counts a second; so do
// readings too far apart to say what happened in between. The counter log and
// the trend chart both use this.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tally {

// The rate between two readings of one counter (whole numbers 0 ... 2^32-1) taken
// at two monotonic times; nullopt when the time does not move forward, a value
// is not a counter value, or the counter went back.
std::optional<double> CountRate(double previousRaw, std::int64_t previousMicros, double raw,
                                std::int64_t micros);

class CounterRates {
  public:
    using Values = std::array<std::optional<double>, 8>;

    // Takes one reading (nullopt: that counter was not read) and returns each
    // counter's rate since its previous reading. intervalSeconds is the poll
    // interval: a previous reading more than three intervals old gives no rate,
    // and single reads (interval 0) never give one.
    Values Take(const Values& raw, std::int64_t micros, int intervalSeconds);

    // After a clear or preset, or on another line: the next reading starts afresh.
    void Forget();

  private:
    struct Reading {
        double raw = 0.0;
        std::int64_t micros = 0;
        bool valid = false;
    };
    std::array<Reading, 8> last_{};
};

}  // namespace tally
