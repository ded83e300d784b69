#include "sim/line_stats.h"

#include <utility>
#include <vector>

namespace tally::sim {

namespace {

std::vector<std::pair<const char*, std::uint64_t>> Fields(const LineStats& s) {
    return {{"requests", s.requests},
            {"writes", s.writes},
            {"answers", s.answers},
            {"overlaps", s.overlaps},
            {"dropped", s.dropped},
            {"exceptions", s.exceptions},
            {"other_station", s.otherStation},
            {"broadcasts", s.broadcasts},
            {"bad_checksum", s.badChecksum},
            {"invalid", s.invalid},
            {"junk", s.junk},
            {"garbled", s.garbled},
            {"split", s.split},
            {"noise", s.noise},
            {"wrong_station", s.wrongStation},
            {"wrong_speed_bytes", s.wrongSpeedBytes},
            {"own", s.own},
            {"modbus_ascii", s.modbusAscii},
            {"modbus_rtu", s.modbusRtu}};
}

}  // namespace

std::string LineStats::toJson(int lineBaud, const std::string& state) const {
    std::string json = "{\n";
    for (const auto& [name, value] : Fields(*this))
        json += "  \"" + std::string(name) + "\": " + std::to_string(value) + ",\n";
    json += "  \"line_baud\": " + std::to_string(lineBaud) + ",\n";
    json += "  \"state\": " + state + "\n}\n";
    return json;
}

std::string LineStats::summary(int lineBaud) const {
    std::string text = "vl4300-sim summary:";
    for (const auto& [name, value] : Fields(*this))
        text += std::string("\n  ") + name + ": " + std::to_string(value);
    text += "\n  line_baud: " + std::to_string(lineBaud) + "\n";
    return text;
}

}  // namespace tally::sim
