// A station's own multipliers as the window keeps them, written as the headless
// run's --multiply takes them: "S:M1,...,M8".
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace tally {

// Eight multipliers "M1,...,M8", each a number from -10000 to 10000. Empty on
// success, otherwise why the text was refused.
std::string ParseMultipliers(const std::string& text, std::array<double, 8>& multipliers);
// "M1,...,M8" with "0.0###".
std::string FormatMultipliers(const std::array<double, 8>& multipliers);

// Entries "S:M1,...,M8"; a malformed one is skipped, a later one for the same
// station wins.
std::map<int, std::array<double, 8>> ParseStationMultipliers(
    const std::vector<std::string>& entries);
std::vector<std::string> FormatStationMultipliers(
    const std::map<int, std::array<double, 8>>& multipliers);

}  // namespace tally
