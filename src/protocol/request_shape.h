// What a request asks for, read back from the very frame the program sent, so
// that judging its reply needs nothing but the two byte strings.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/protocol.h"

namespace tally {

// Own protocol: the command word with its parameters ("RCT", "WDO3,1", ...) of the
// frame "#" S K CR; empty when the text is no such frame.
std::string_view OwnCommandOf(std::string_view request);

// A Modbus request as its reply must match it.
struct ModbusAsk {
    int station = 0;
    int function = 0;
    // Functions 05 and 0F: the reply echoes the request's first six bytes.
    bool write = false;
    // A read: the byte count its reply must carry (1 for 8 coils or inputs, 64 for
    // 32 registers).
    std::size_t dataBytes = 0;
    // The request's bytes without the checksum.
    std::string adu;
};

// nullopt when the frame is not a Modbus request of that protocol the program sends.
std::optional<ModbusAsk> ModbusAskOf(Protocol protocol, std::string_view request);

}  // namespace tally
