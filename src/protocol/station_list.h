// A list of stations as the operator writes it: "1,2,5-7".
#pragma once

#include <string>
#include <vector>

namespace tally {

constexpr int kLastStation = 31;

struct StationList {
    std::vector<int> stations;  // in the order given; empty when refused
    std::string error;          // why the text was refused; empty when accepted
};

// Numbers 0-31 and inclusive ranges "a-b" separated by commas, no blanks. Refused,
// with the reason: an empty text or element, a number outside 0-31, a reversed
// range, a station named twice (also through overlapping ranges).
StationList ParseStationList(const std::string& text);

}  // namespace tally
