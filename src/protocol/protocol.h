// The three protocols the module speaks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// "korvi", "modbus-ascii", "modbus-rtu": the protocol's name where a program
// reads it back (the log, the published messages, the command line).
inline std::string ProtocolName(Protocol protocol) {
    switch (protocol) {
        case Protocol::ModbusAscii:
            return "modbus-ascii";
        case Protocol::ModbusRtu:
            return "modbus-rtu";
        case Protocol::Own:
            break;
    }
    return "korvi";
}

// A protocol's name, or "ascii" or "rtu" for short; nothing for any other text.
inline std::optional<Protocol> ParseProtocolName(std::string_view name) {
    if (name == "ascii") return Protocol::ModbusAscii;
    if (name == "rtu") return Protocol::ModbusRtu;
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        if (name == ProtocolName(protocol)) return protocol;
    return std::nullopt;
}

constexpr char CR = '\r';
constexpr char LF = '\n';

}  // namespace tally
