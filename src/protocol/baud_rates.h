// The line speeds the module runs at: the window's baud list, the values a
// headless run takes, and the rates Find Module tries.
#pragma once

#include <algorithm>
#include <array>
#include <string>

namespace tally {

// In the window's order.
inline constexpr std::array<int, 8> kBaudRates = {1200,  2400,  4800,  9600,
                                                  14400, 19200, 28800, 57600};

inline bool IsBaudRate(long long baud) {
    return std::find(kBaudRates.begin(), kBaudRates.end(), baud) != kBaudRates.end();
}

// "1200, 2400, ... or 57600", for the messages that name them.
inline std::string BaudRatesText() {
    std::string text;
    for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
        if (i > 0) text += i + 1 == kBaudRates.size() ? " or " : ", ";
        text += std::to_string(kBaudRates[i]);
    }
    return text;
}

}  // namespace tally
