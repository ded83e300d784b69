#include "sim/line_stats.h"

#include <utility>
#include <vector>

namespace tally::sim {

namespace {

struct Field {
    const char* name;
    std::uint64_t value;
    bool lineOnly;  // a fact of the line, never of one station
};

std::vector<Field> Fields(const LineStats& s) {
    return {{"requests", s.requests, false},
            {"writes", s.writes, false},
            {"answers", s.answers, false},
            {"overlaps", s.overlaps, true},
            {"dropped", s.dropped, false},
            {"exceptions", s.exceptions, false},
            {"other_station", s.otherStation, true},
            {"broadcasts", s.broadcasts, false},
            {"bad_checksum", s.badChecksum, false},
            {"invalid", s.invalid, false},
            {"junk", s.junk, true},
            {"garbled", s.garbled, false},
            {"split", s.split, false},
            {"noise", s.noise, true},
            {"wrong_station", s.wrongStation, false},
            {"wrong_speed_bytes", s.wrongSpeedBytes, true},
            {"rtu_early", s.rtuEarly, false},
            {"own", s.own, false},
            {"modbus_ascii", s.modbusAscii, false},
            {"modbus_rtu", s.modbusRtu, false}};
}

}  // namespace

std::string LineStats::toJson(int lineBaud, const std::string& state,
                              const std::string& stations) const {
    std::string json = "{\n";
    for (const auto& field : Fields(*this))
        json += "  \"" + std::string(field.name) + "\": " + std::to_string(field.value) + ",\n";
    json += "  \"line_baud\": " + std::to_string(lineBaud) + ",\n";
    if (!stations.empty()) json += "  \"stations\": " + stations + ",\n";
    json += "  \"state\": " + state + "\n}\n";
    return json;
}

std::string LineStats::stationJsonMembers(const std::string& indent) const {
    std::string json;
    for (const auto& field : Fields(*this))
        if (!field.lineOnly)
            json += indent + "\"" + field.name + "\": " + std::to_string(field.value) + ",\n";
    return json;
}

std::string LineStats::summary(int lineBaud) const {
    std::string text = "vl4300-sim summary:";
    for (const auto& field : Fields(*this))
        text += std::string("\n  ") + field.name + ": " + std::to_string(field.value);
    text += "\n  line_baud: " + std::to_string(lineBaud) + "\n";
    return text;
}

std::string LineStats::stationSummary(int station) const {
    std::string text = "  station " + std::to_string(station) + ":";
    const char* separator = " ";
    for (const auto& field : Fields(*this)) {
        if (field.lineOnly) continue;
        text += separator + std::string(field.name) + " " + std::to_string(field.value);
        separator = ", ";
    }
    return text + "\n";
}

}  // namespace tally::sim
