// The seeded pattern the module's inputs follow.
//
// Each input is a square wave with its own period and phase, counted in steps of
// the module's life (one step per request received), so the same seed and the
// same requests always give the same answers, however fast the master polls.
#pragma once

#include <array>
#include <cstdint>

namespace tally::sim {

class InputPattern {
  public:
    // Seed 0: every input stays off.
    explicit InputPattern(std::uint64_t seed);

    // Levels of the eight inputs at a step; bit k-1 is input k.
    std::uint8_t levelsAt(std::uint64_t step) const;

  private:
    struct Wave {
        std::uint32_t period = 0;  // 0: the input never changes
        std::uint32_t phase = 0;
        std::uint32_t high = 0;  // steps per period spent on
    };
    std::array<Wave, 8> waves{};
};

}  // namespace tally::sim
