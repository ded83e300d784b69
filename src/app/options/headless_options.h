// What a headless run is asked to do, and the exit codes it ends with.
//
// The command line's table (command_line.cpp) takes each option into these and
// checks its value there, so a typing error on an unattended machine stops at
// once with its reason instead of polling the wrong thing.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/options/mqtt_options.h"
#include "protocol/protocol.h"

namespace tally {

// Exit codes of a headless run (2 is also any other usage error).
constexpr int kExitDone = 0;
constexpr int kExitUsage = 2;
constexpr int kExitPort = 3;
constexpr int kExitLog = 4;

struct HeadlessOptions {
    std::string port;    // as given: a port number or a device path
    int portNumber = 0;  // 1-16 when `port` is a number (numbered as in the window), else 0
    int baud = 19200;
    int station = 0;               // the first of `stations`
    std::vector<int> stations{0};  // polled in this order each cycle
    int pauseMs = 0;               // extra quiet before every request
    Protocol protocol = Protocol::Own;
    int everySeconds = 1;
    bool readCounters = false;
    bool readInputs = false;
    bool readOutputs = false;
    std::array<double, 8> multipliers{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    // --multiply S:m1,...,m8: a station's own multipliers.
    std::map<int, std::array<double, 8>> stationMultipliers;
    std::string csv;          // "-" is standard output
    std::int64_t cycles = 0;  // 0: until stopped
    MqttOptions mqtt;         // --mqtt and its options (mqtt_options.h)
};

// Why options that are each right do not go together (Modbus station 0, the
// multipliers or commands of a station not polled, counter commands under
// Modbus), or "".
std::string HeadlessOptionConflict(const HeadlessOptions& options);

}  // namespace tally
