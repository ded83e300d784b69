#include "protocol/hex.h"

#include <algorithm>
#include <cmath>

namespace tally {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Value 0-15 of one hex digit, lower case accepted; -1 for anything else.
int DigitValue(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

}  // namespace

int GroupValue(std::string_view group) {
    int value = 0;
    for (std::size_t i = 0; i < group.size() && i < 2; ++i) {
        const int d = DigitValue(group[i]);
        if (d < 0) break;
        value = value * 16 + d;
    }
    return value;
}

Bytes HexToBytes(std::string_view hex) {
    Bytes bytes;
    const std::size_t n = hex.size() / 2;
    bytes.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
        bytes.push_back(static_cast<char>(GroupValue(hex.substr(2 * k, 2))));
    return bytes;
}

std::string BytesToHex(std::string_view bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        hex.push_back(kDigits[u >> 4]);
        hex.push_back(kDigits[u & 0x0F]);
    }
    return hex;
}

BitArray HexToBits(std::string_view hex) {
    const std::size_t n = hex.size();
    // One spare element on top, always 0.
    BitArray bits(4 * n + 1, 0);
    for (std::size_t i = 1; i <= n; ++i) {
        const int d = GroupValue(hex.substr(n - i, 1));
        for (int k = 0; k < 4; ++k)
            bits[4 * (i - 1) + k] = (d >> k) & 1;
    }
    return bits;
}

std::string BitsToHex(const BitArray& bits) {
    std::string hex;
    const std::size_t groups = (bits.size() + 3) / 4;
    hex.reserve(groups);
    for (std::size_t g = 0; g < groups; ++g) {
        int v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t j = 4 * g + k;
            // A flag is set when its element is not 0, so stray values still give one digit.
            if (j < bits.size() && bits[j] != 0) v |= 1 << k;
        }
        hex.push_back(kDigits[v]);
    }
    // Built from element 0 upwards, so the lowest group ends up last.
    std::reverse(hex.begin(), hex.end());
    return hex;
}

double HexToNumber(std::string_view hex) {
    // Pairs from the left, each worth 256 times the one after it: the same sum as
    // weighting them from the right, but an overlong text ends at infinity, never NaN.
    double value = 0;
    std::size_t pos = 0;
    if (hex.size() % 2 == 1) {
        value = GroupValue(hex.substr(0, 1));
        pos = 1;
    }
    for (; pos < hex.size(); pos += 2)
        value = value * 256 + GroupValue(hex.substr(pos, 2));
    return value;
}

std::string NumberToHex(double value) {
    std::string hex;
    // Negative, NaN and infinite values have no hex form; fractions are dropped.
    if (!std::isfinite(value) || value < 1) return hex;
    double x = std::floor(value);
    while (x > 0) {
        const int d = static_cast<int>(std::fmod(x, 16.0));
        hex.push_back(kDigits[d]);
        x = std::floor(x / 16);
    }
    std::reverse(hex.begin(), hex.end());
    return hex;
}

}  // namespace tally
