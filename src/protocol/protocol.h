// The three protocols the module speaks.
#pragma once

#include <cstdint>
#include <string>

namespace tally {

// Values are the option indexes of the window (ProtocolIndex).
enum class Protocol : std::int16_t { Own = 0, ModbusAscii = 1, ModbusRtu = 2 };

inline Protocol ProtocolFromIndex(int index) {
    if (index == 1) return Protocol::ModbusAscii;
    if (index == 2) return Protocol::ModbusRtu;
    return Protocol::Own;
}

// "Korvi", "Modbus Ascii", "Modbus RTU": the captions of the window's protocol options,
// also used wherever a protocol is named to the operator.
inline std::string ProtocolCaption(Protocol protocol) {
    switch (protocol) {
        case Protocol::Own:
            return "Korvi";
        case Protocol::ModbusAscii:
            return "Modbus Ascii";
        case Protocol::ModbusRtu:
            break;
    }
    return "Modbus RTU";
}

constexpr char CR = '\r';
constexpr char LF = '\n';

}  // namespace tally
