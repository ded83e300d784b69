#include "ui/models/station_multipliers.h"

#include "numbers/number_text.h"
#include "protocol/station_list.h"

namespace tally {

std::string ParseMultipliers(const std::string& text, std::array<double, 8>& multipliers) {
    std::array<double, 8> parsed{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == 7))
            return "give eight multipliers, separated by commas";
        const std::string part = text.substr(start, comma - start);
        const double m = LeadingNumber(part);
        if (!IsNumeric(part) || m < -10000.0 || m > 10000.0)
            return "multiplier " + std::to_string(i + 1) + " (" + part +
                   ") is not a number from -10000 to 10000";
        parsed[i] = m;
        start = comma + 1;
    }
    multipliers = parsed;
    return {};
}

std::string FormatMultipliers(const std::array<double, 8>& multipliers) {
    std::string text;
    for (std::size_t i = 0; i < 8; ++i)
        text += (i > 0 ? "," : "") + FormatDecimal(multipliers[i], 1, 4);
    return text;
}

std::map<int, std::array<double, 8>> ParseStationMultipliers(
    const std::vector<std::string>& entries) {
    std::map<int, std::array<double, 8>> result;
    for (const std::string& entry : entries) {
        const std::size_t colon = entry.find(':');
        if (colon == std::string::npos) continue;
        const StationList station = ParseStationList(entry.substr(0, colon));
        std::array<double, 8> multipliers{};
        if (station.stations.size() != 1 ||
            !ParseMultipliers(entry.substr(colon + 1), multipliers).empty())
            continue;
        result[station.stations.front()] = multipliers;
    }
    return result;
}

std::vector<std::string> FormatStationMultipliers(
    const std::map<int, std::array<double, 8>>& multipliers) {
    std::vector<std::string> entries;
    for (const auto& [station, values] : multipliers)
        entries.push_back(std::to_string(station) + ":" + FormatMultipliers(values));
    return entries;
}

}  // namespace tally
