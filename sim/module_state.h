// The VL4300's memory and I/O as the simulator keeps them.
//
// The counters live in the module memory itself (four bytes big-endian per
// counter from address 0A), so a memory write and a counter preset are the same
// thing, exactly as the own protocol's WRTC sees it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/input_pattern.h"

namespace tally::sim {

class ModuleState {
  public:
    static constexpr int kMemorySize = 256;
    static constexpr int kEnableAddress = 0x08;
    static constexpr int kFirstCounterAddress = 0x0A;
    static constexpr int kChannels = 8;

    // Seed 0 gives a still module: counters 0, all enabled, inputs never change.
    explicit ModuleState(std::uint64_t seed);

    // Address of counter k (1-8): 4k+6.
    static int counterAddress(int k) { return 4 * k + 6; }

    std::uint32_t counter(int k) const;
    void setCounter(int k, std::uint32_t value);
    void clearCounter(int k);
    void clearAllCounters();

    std::uint8_t enableFlags() const { return memory[kEnableAddress]; }
    void setEnableFlags(std::uint8_t flags) { memory[kEnableAddress] = flags; }

    // Bit k-1 is channel k.
    std::uint8_t outputs() const { return outputBits; }
    void setOutputs(std::uint8_t bits) { outputBits = bits; }
    void setOutput(int k, bool on);
    bool output(int k) const { return (outputBits >> (k - 1)) & 1U; }
    std::uint8_t inputs() const { return inputBits; }
    bool input(int k) const { return (inputBits >> (k - 1)) & 1U; }

    // Raw memory; false (and nothing changed) when the range leaves the memory.
    bool readMemory(int address, int count, std::string& bytes) const;
    bool writeMemory(int address, const std::string& bytes);

    // One step of the module's life: the inputs take their next levels and each
    // enabled counter counts a rising edge of its input, wrapping at 2^32.
    void step();
    // Sets the inputs directly (tests); edges are counted as in step().
    void applyInputs(std::uint8_t levels);
    std::uint64_t steps() const { return stepCount; }

    // State as JSON: outputs, inputs, enable flags as bit strings "10000000"
    // (channel 1 first) and the counters as numbers.
    std::string toJson() const;

  private:
    std::array<std::uint8_t, kMemorySize> memory{};
    std::uint8_t outputBits = 0;
    std::uint8_t inputBits = 0;
    std::uint64_t stepCount = 0;
    InputPattern pattern;
};

// "10100000": channel 1 first.
std::string ChannelBits(std::uint8_t bits);

}  // namespace tally::sim
