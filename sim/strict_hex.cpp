#include "sim/strict_hex.h"

namespace tally::sim {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<unsigned long> ParseHexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned long value = 0;
    for (char c : text) {
        const int digit = DigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return value;
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = DigitValue(text[i]);
        const int low = DigitValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

}  // namespace tally::sim
