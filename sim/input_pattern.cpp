#include "sim/input_pattern.h"

#include "sim/seeded_random.h"

namespace tally::sim {

InputPattern::InputPattern(std::uint64_t seed) {
    if (seed == 0) return;
    SeededRandom random(seed);
    for (auto& wave : waves) {
        // Short periods so a counter visibly moves over a few polls.
        wave.period = static_cast<std::uint32_t>(random.between(2, 12));
        wave.high = static_cast<std::uint32_t>(random.between(1, wave.period - 1));
        wave.phase = static_cast<std::uint32_t>(random.between(0, wave.period - 1));
    }
}

std::uint8_t InputPattern::levelsAt(std::uint64_t step) const {
    std::uint8_t levels = 0;
    for (int i = 0; i < 8; ++i) {
        const Wave& wave = waves[static_cast<std::size_t>(i)];
        if (wave.period == 0) continue;
        if ((step + wave.phase) % wave.period < wave.high)
            levels |= static_cast<std::uint8_t>(1U << i);
    }
    return levels;
}

}  // namespace tally::sim
