#include "protocol/checksum.h"

#include <cstdint>

#include "protocol/hex.h"

namespace tally {

namespace {

std::string HexDigits(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0x0F];
        value >>= 4;
    }
    return text;
}

}  // namespace

std::string LrcOfHex(std::string_view hex) {
    unsigned sum = 0;
    // An odd last character is a group of its own.
    for (std::size_t pos = 0; pos < hex.size(); pos += 2)
        sum = (sum + static_cast<unsigned>(GroupValue(hex.substr(pos, 2)))) & 0xFF;
    return HexDigits((0x100 - sum) & 0xFF, 2);
}

std::string Crc16OfBytes(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int i = 0; i < 8; ++i) {
            const bool odd = (crc & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (odd) crc ^= 0xA001;
        }
    }
    return HexDigits(crc, 4);
}

std::string CrcOfHex(std::string_view hex) {
    const std::string crc = Crc16OfBytes(HexToBytes(hex));
    // The low order byte of the CRC goes first on the line.
    return crc.substr(2, 2) + crc.substr(0, 2);
}

}  // namespace tally
