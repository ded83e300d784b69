// The line settings text "<baud>,<parity>,<data bits>,<stop bits>", e.g. "19200,n,8,1".
#pragma once

#include <optional>
#include <string>

namespace tally {

struct LineSettings {
    int baud = 9600;
    char parity = 'n';  // 'n', 'e', 'o', 'm' or 's'
    int dataBits = 8;   // 5-8
    int stopBits = 1;   // 1 or 2
};

// Blanks around each field are allowed, the parity letter in either case;
// anything else (missing fields, a zero or non-numeric baud rate) gives nothing.
std::optional<LineSettings> ParseLineSettings(const std::string& text);

}  // namespace tally
