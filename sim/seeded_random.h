// A small seeded generator whose sequence is the same on every platform.
//
// std::mt19937 is portable but its distributions are not, so the simulator
// draws its own uniform numbers from splitmix64.
#pragma once

#include <cstdint>

namespace tally::sim {

class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // Uniform whole number in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high) {
        if (high <= low) return low;
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<std::int64_t>(next() % span);
    }

    bool chance(double probability) { return probability > 0.0 && unit() < probability; }

  private:
    std::uint64_t state;
};

}  // namespace tally::sim
