#include "sim/module_state.h"

#include "sim/seeded_random.h"

namespace tally::sim {

ModuleState::ModuleState(std::uint64_t seed) : pattern(seed) {
    memory[kEnableAddress] = 0xFF;
    if (seed != 0) {
        // Different stream from the pattern's, so the two do not mirror each other.
        SeededRandom random(seed ^ 0xC0FFEE5EEDULL);
        for (int k = 1; k <= kChannels; ++k)
            setCounter(k, static_cast<std::uint32_t>(random.between(0, 99999)));
    }
    inputBits = pattern.levelsAt(0);
}

std::uint32_t ModuleState::counter(int k) const {
    const auto base = static_cast<std::size_t>(counterAddress(k));
    return (std::uint32_t{memory[base]} << 24) | (std::uint32_t{memory[base + 1]} << 16) |
           (std::uint32_t{memory[base + 2]} << 8) | std::uint32_t{memory[base + 3]};
}

void ModuleState::setCounter(int k, std::uint32_t value) {
    const auto base = static_cast<std::size_t>(counterAddress(k));
    memory[base] = static_cast<std::uint8_t>(value >> 24);
    memory[base + 1] = static_cast<std::uint8_t>(value >> 16);
    memory[base + 2] = static_cast<std::uint8_t>(value >> 8);
    memory[base + 3] = static_cast<std::uint8_t>(value);
}

void ModuleState::clearCounter(int k) {
    setCounter(k, 0);
}

void ModuleState::clearAllCounters() {
    for (int k = 1; k <= kChannels; ++k)
        clearCounter(k);
}

void ModuleState::setOutput(int k, bool on) {
    const auto mask = static_cast<std::uint8_t>(1U << (k - 1));
    outputBits = on ? static_cast<std::uint8_t>(outputBits | mask)
                    : static_cast<std::uint8_t>(outputBits & ~mask);
}

bool ModuleState::readMemory(int address, int count, std::string& bytes) const {
    if (address < 0 || count < 1 || address + count > kMemorySize) return false;
    bytes.assign(memory.begin() + address, memory.begin() + address + count);
    return true;
}

bool ModuleState::writeMemory(int address, const std::string& bytes) {
    const auto count = static_cast<int>(bytes.size());
    if (address < 0 || count < 1 || address + count > kMemorySize) return false;
    for (int i = 0; i < count; ++i)
        memory[static_cast<std::size_t>(address + i)] =
            static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
    return true;
}

void ModuleState::step() {
    ++stepCount;
    applyInputs(pattern.levelsAt(stepCount));
}

void ModuleState::applyInputs(std::uint8_t levels) {
    const auto rising = static_cast<std::uint8_t>(levels & ~inputBits & enableFlags());
    for (int k = 1; k <= kChannels; ++k) {
        // Unsigned arithmetic wraps at 2^32, as the module's 32-bit counter does.
        if ((rising >> (k - 1)) & 1U) setCounter(k, counter(k) + 1U);
    }
    inputBits = levels;
}

std::string ChannelBits(std::uint8_t bits) {
    std::string text;
    for (int k = 1; k <= 8; ++k)
        text += ((bits >> (k - 1)) & 1U) ? '1' : '0';
    return text;
}

std::string ModuleState::toJson() const {
    std::string json = "{\"outputs\": \"" + ChannelBits(outputBits) + "\", \"inputs\": \"" +
                       ChannelBits(inputBits) + "\", \"enable\": \"" + ChannelBits(enableFlags()) +
                       "\", \"counters\": [";
    for (int k = 1; k <= kChannels; ++k) {
        if (k > 1) json += ", ";
        json += std::to_string(counter(k));
    }
    json += "], \"steps\": " + std::to_string(stepCount) + "}";
    return json;
}

}  // namespace tally::sim
