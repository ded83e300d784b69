#include "publish/state_message.h"

#include <cmath>
#include <cstdio>

#include "log/log_row.h"
#include "numbers/number_text.h"

namespace tally {
namespace {

template <typename T, typename Format>
void addArray(std::string& json, const char* name, const std::array<std::optional<T>, 8>& values,
              Format format) {
    json += ",\"";
    json += name;
    json += "\":[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) json += ',';
        json += values[i] ? format(*values[i]) : std::string("null");
    }
    json += ']';
}

// JSON has no infinity or NaN: such a value is no reading.
std::string decimal(double value) {
    return std::isfinite(value) ? FormatDecimal(value, 1, 4) : "null";
}

std::string whole(double value) {
    return std::isfinite(value) ? ShortestDecimal(value) : "null";
}

std::string flag(int value) {
    return std::to_string(value);
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

std::string StateMessage(const StationReading& r, const std::string& time) {
    std::string json = "{\"time\":" + JsonString(time) +
                       ",\"station\":" + std::to_string(r.station) +
                       ",\"protocol\":" + JsonString(ProtocolName(r.protocol));
    json.reserve(512);
    addArray(json, "raw", r.raw, whole);
    addArray(json, "scaled", r.scaled, decimal);
    addArray(json, "rate", r.rate, decimal);
    addArray(json, "di", r.di, flag);
    addArray(json, "do", r.dout, flag);
    return json + '}';
}

}  // namespace tally
