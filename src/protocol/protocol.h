// The three protocols the module speaks.
#pragma once

#include <cstdint>

namespace tally {

// Values are the option indexes of the window (ProtocolIndex).
enum class Protocol : std::int16_t { Own = 0, ModbusAscii = 1, ModbusRtu = 2 };

inline Protocol ProtocolFromIndex(int index) {
    if (index == 1) return Protocol::ModbusAscii;
    if (index == 2) return Protocol::ModbusRtu;
    return Protocol::Own;
}

constexpr char CR = '\r';
constexpr char LF = '\n';

}  // namespace tally
