#include "app/headless_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "numbers/number_text.h"
#include "protocol/baud_rates.h"
#include "protocol/station_list.h"

namespace tally {
namespace {

const char* const kRequired[] = {"--port",  "--baud", "--station", "--protocol",
                                 "--every", "--read", "--csv"};

// Digits only, no sign; a number too big for 64 bits is out of range like any other.
std::optional<std::int64_t> wholeNumber(const std::string& text, std::int64_t lo, std::int64_t hi) {
    std::int64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text[0] == '-' || stop != end || error != std::errc() || value < lo ||
        value > hi) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

}  // namespace

std::string SetHeadlessOption(HeadlessOptions& o, const std::string& name,
                              const std::string& value) {
    o.given.push_back(name);
    if (name.rfind("--mqtt", 0) == 0) return SetMqttOption(o.mqtt, name, value);
    if (name == "--port") {
        if (value.empty()) return "--port needs a port number 1-16 or a device path";
        o.port = value;
        o.portNumber = 0;
        if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            const auto n = wholeNumber(value, 1, 16);
            if (!n) return "--port " + value + ": port numbers go from 1 to 16";
            o.portNumber = static_cast<int>(*n);
        }
    } else if (name == "--baud") {
        const auto n = wholeNumber(value, 1, 10'000'000);
        if (!n || !IsBaudRate(*n)) return "--baud " + value + ": use " + BaudRatesText();
        o.baud = static_cast<int>(*n);
    } else if (name == "--station") {
        StationList list = ParseStationList(value);
        if (!list.error.empty()) return "--station " + value + ": " + list.error;
        o.stations = std::move(list.stations);
        o.station = o.stations.front();
    } else if (name == "--pause") {
        const auto n = wholeNumber(value, 0, 1000);
        if (!n) return "--pause " + value + ": give whole milliseconds from 0 to 1000";
        o.pauseMs = static_cast<int>(*n);
    } else if (name == "--protocol") {
        const std::optional<Protocol> protocol = ParseProtocolName(value);
        if (!protocol) return "--protocol " + value + ": use korvi, ascii or rtu";
        o.protocol = *protocol;
    } else if (name == "--every") {
        const auto n = wholeNumber(value, 1, 60);
        if (!n) {
            // The window's 0 reads once; a run that goes on polling has no use for that.
            const bool singleRead = wholeNumber(value, 0, 0).has_value();
            return "--every " + value + ": give whole seconds from 1 to 60" +
                   (singleRead ? " (0, the window's single read, has no meaning in a headless run)"
                               : "");
        }
        o.everySeconds = static_cast<int>(*n);
    } else if (name == "--read") {
        o.readCounters = o.readInputs = o.readOutputs = false;
        for (const std::string& kind : split(value)) {
            if (kind == "dc") {
                o.readCounters = true;
            } else if (kind == "di") {
                o.readInputs = true;
            } else if (kind == "do") {
                o.readOutputs = true;
            } else {
                return "--read " + value + ": list dc, di and/or do, separated by commas";
            }
        }
    } else if (name == "--multiply") {
        // "m1,...,m8" for every station, or "S:m1,...,m8" for station S.
        const std::size_t colon = value.find(':');
        std::array<double, 8>* target = &o.multipliers;
        if (colon != std::string::npos) {
            const auto station = wholeNumber(value.substr(0, colon), 0, kLastStation);
            if (!station)
                return "--multiply " + value + ": the station before \":\" goes from 0 to 31";
            target = &o.stationMultipliers[static_cast<int>(*station)];
        }
        const std::vector<std::string> parts =
            split(colon == std::string::npos ? value : value.substr(colon + 1));
        if (parts.size() != 8) return "--multiply needs eight multipliers, separated by commas";
        for (std::size_t i = 0; i < 8; ++i) {
            const double m = LeadingNumber(parts[i]);
            if (!IsNumeric(parts[i]) || m < -10000.0 || m > 10000.0) {
                return "--multiply: multiplier " + std::to_string(i + 1) + " (" + parts[i] +
                       ") is not a number from -10000 to 10000";
            }
            (*target)[i] = m;
        }
    } else if (name == "--csv") {
        if (value.empty()) return "--csv needs a file name, or - for standard output";
        o.csv = value;
    } else if (name == "--cycles") {
        constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
        const auto n = wholeNumber(value, 1, kMost);
        if (!n) {
            return "--cycles " + value + ": give a whole number from 1 to " + std::to_string(kMost);
        }
        o.cycles = *n;
    }
    return std::string();
}

std::string HeadlessOptionConflict(const HeadlessOptions& o) {
    const auto polled = [&o](int station) {
        return std::find(o.stations.begin(), o.stations.end(), station) != o.stations.end();
    };
    if (o.protocol != Protocol::Own && polled(0)) {
        return "--station: station 0 is the Modbus broadcast address, which no module answers; "
               "use 1-31 with Modbus";
    }
    for (const auto& own : o.stationMultipliers) {
        if (!polled(own.first)) {
            return "--multiply " + std::to_string(own.first) + ":...: station " +
                   std::to_string(own.first) + " is not in --station";
        }
    }
    return std::string();
}

std::string MissingHeadlessOption(const HeadlessOptions& options) {
    const auto given = [&options](const char* name) {
        return std::find(options.given.begin(), options.given.end(), name) != options.given.end();
    };
    for (const char* name : kRequired) {
        // A run that publishes need not write a file as well.
        if (std::string(name) == "--csv" && given("--mqtt")) continue;
        if (!given(name)) return std::string(name) == "--csv" ? "--csv or --mqtt" : name;
    }
    return std::string();
}

}  // namespace tally
