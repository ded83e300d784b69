#include "serial/line_settings.h"

#include <cctype>
#include <vector>

namespace tally {

namespace {

std::string Trimmed(const std::string& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1])))
        --end;
    return s.substr(begin, end - begin);
}

// A plain decimal number within [low, high]; no sign, no fraction.
std::optional<int> Whole(const std::string& s, int low, int high) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(Trimmed(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return std::nullopt;

    LineSettings settings;
    const auto baud = Whole(fields[0], 1, 4000000);
    const auto dataBits = Whole(fields[2], 5, 8);
    const auto stopBits = Whole(fields[3], 1, 2);
    if (!baud || !dataBits || !stopBits || fields[1].size() != 1) return std::nullopt;
    const char parity = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
    if (std::string("neoms").find(parity) == std::string::npos) return std::nullopt;

    settings.baud = *baud;
    settings.parity = parity;
    settings.dataBits = *dataBits;
    settings.stopBits = *stopBits;
    return settings;
}

}  // namespace tally
