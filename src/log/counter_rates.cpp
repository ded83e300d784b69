#include "log/counter_rates.h"

#include <cmath>

namespace tally {
namespace {

constexpr double kCounterRange = 4294967296.0;  // 2^32

bool isCounterValue(double value) {
    return value >= 0.0 && value < kCounterRange && std::floor(value) == value;
}

}  // namespace

std::optional<double> CountRate(double previousRaw, std::int64_t previousMicros, double raw,
                                std::int64_t micros) {
    if (micros <= previousMicros || !isCounterValue(previousRaw) || !isCounterValue(raw)) {
        return std::nullopt;
    }
    const auto delta = static_cast<std::uint32_t>(static_cast<std::uint32_t>(raw) -
                                                  static_cast<std::uint32_t>(previousRaw));
    // Half the range or more forward is read as a step back, as serial-number
    // arithmetic does: no real input counts two billion edges between two reads.
    if (delta >= 0x8000'0000u) return std::nullopt;
    return static_cast<double>(delta) * 1e6 / static_cast<double>(micros - previousMicros);
}

CounterRates::Values CounterRates::Take(const Values& raw, std::int64_t micros,
                                        int intervalSeconds) {
    const std::int64_t maxGap = 3LL * intervalSeconds * 1'000'000;
    Values rates{};
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (!raw[i]) continue;
        Reading& last = last_[i];
        if (last.valid && micros - last.micros <= maxGap) {
            rates[i] = CountRate(last.raw, last.micros, *raw[i], micros);
        }
        last = {*raw[i], micros, true};
    }
    return rates;
}

void CounterRates::Forget() {
    last_.fill(Reading{});
}

}  // namespace tally
