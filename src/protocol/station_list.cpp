#include "protocol/station_list.h"

#include <algorithm>
#include <array>

namespace tally {

namespace {

// A station number: one or two decimal digits, 0-31.
bool Station(const std::string& text, int& station) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    station = std::stoi(text);
    return station <= kLastStation;
}

StationList Refuse(std::string reason) {
    return {{}, std::move(reason)};
}

}  // namespace

StationList ParseStationList(const std::string& text) {
    if (text.empty()) return Refuse("give at least one station, 0 to 31");
    StationList list;
    std::array<bool, kLastStation + 1> named{};
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string element = text.substr(start, comma - start);
        if (element.empty()) return Refuse("an element of the list is empty");
        const std::size_t dash = element.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string::npos) {
            if (!Station(element, first)) return Refuse(element + " is not a station 0 to 31");
            last = first;
        } else {
            const std::string from = element.substr(0, dash);
            const std::string to = element.substr(dash + 1);
            if (!Station(from, first) || !Station(to, last))
                return Refuse(element + " is not a range of stations 0 to 31");
            if (last < first) return Refuse("the range " + element + " is reversed");
        }
        for (int station = first; station <= last; ++station) {
            if (named[static_cast<std::size_t>(station)])
                return Refuse("station " + std::to_string(station) + " is listed twice");
            named[static_cast<std::size_t>(station)] = true;
            list.stations.push_back(station);
        }
        if (comma == std::string::npos) return list;
        start = comma + 1;
    }
}

}  // namespace tally
