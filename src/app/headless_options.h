// The program's command line: nothing (the window, as always), --help,
// --version, or --headless with everything a logging run without a display needs.
//
// Without --headless the arguments are left to Qt, so the window starts exactly
// as before. With it every argument must be known: a typing error on an
// unattended machine should stop at once with its reason, not poll the wrong thing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/protocol.h"

namespace tally {

// Exit codes of a headless run.
constexpr int kExitDone = 0;
constexpr int kExitUsage = 2;
constexpr int kExitPort = 3;
constexpr int kExitLog = 4;

struct HeadlessOptions {
    std::string port;    // as given: a port number or a device path
    int portNumber = 0;  // 1-16 when `port` is a number (numbered as in the window), else 0
    int baud = 19200;
    int station = 0;
    Protocol protocol = Protocol::Own;
    int everySeconds = 1;
    bool readCounters = false;
    bool readInputs = false;
    bool readOutputs = false;
    std::array<double, 8> multipliers{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    std::string csv;          // "-" is standard output
    std::int64_t cycles = 0;  // 0: until stopped
};

struct CommandLine {
    enum class Mode { Window, Headless, Help, Version, UsageError };
    Mode mode = Mode::Window;
    HeadlessOptions headless;
    std::string error;  // UsageError: the reason, for standard error
};

// args: the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

}  // namespace tally
