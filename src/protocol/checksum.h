// The two Modbus serial-line checks.
#pragma once

#include <string>
#include <string_view>

namespace tally {

// Two's complement of the 8-bit sum of the bytes the hex text denotes: two hex digits.
std::string LrcOfHex(std::string_view hex);
// Modbus CRC-16 (poly A001, start FFFF) as four hex digits, high byte first.
std::string Crc16OfBytes(std::string_view bytes);
// CRC of the bytes the hex text denotes, low byte first: the order an RTU frame carries.
std::string CrcOfHex(std::string_view hex);

}  // namespace tally
