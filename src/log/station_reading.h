// What one station's poll cycle read, as one value: the counter log writes it as
// a CSV row, the publisher as a state message, so the two cannot disagree.
//
// A value that was not read in the cycle, or whose read failed, is absent: a
// stale value would look current. The time is an instant; local time and its
// offset are made only where text is written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/protocol.h"

namespace tally {

struct StationReading {
    // The cycle's first successful read of this station, milliseconds since the
    // Unix epoch (UTC).
    std::int64_t utcMs = 0;
    int station = 0;
    Protocol protocol = Protocol::Own;
    std::array<std::optional<double>, 8> raw{};
    // raw x the multiplier in force when the reading was built.
    std::array<std::optional<double>, 8> scaled{};
    // Counts per second since the counter's previous reading.
    std::array<std::optional<double>, 8> rate{};
    std::array<std::optional<int>, 8> di{};
    std::array<std::optional<int>, 8> dout{};
};

}  // namespace tally
