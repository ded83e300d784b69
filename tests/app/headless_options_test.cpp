#include <gtest/gtest.h>

#include "app/headless_options.h"

namespace tally {
namespace {

using Mode = CommandLine::Mode;

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t space = line.find(' ', start);
        out.push_back(line.substr(start, space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    return out;
}

const std::string kRun =
    "--headless --port 2 --baud 9600 --station 31 --protocol rtu --every 5 --read dc,do --csv x";

TEST(HeadlessOptions, AFullRunIsTakenAndEveryMistakeIsAUsageErrorWithItsReason) {
    const CommandLine run =
        ParseCommandLine(words(kRun + " --multiply 1,2,3,4,5,6,7,-0.5 --cycles=3"));
    ASSERT_EQ(run.mode, Mode::Headless) << run.error;
    const HeadlessOptions& o = run.headless;
    EXPECT_EQ(o.portNumber, 2);
    EXPECT_EQ(o.baud, 9600);
    EXPECT_EQ(o.station, 31);
    EXPECT_EQ(o.protocol, Protocol::ModbusRtu);
    EXPECT_EQ(o.everySeconds, 5);
    EXPECT_TRUE(o.readCounters && !o.readInputs && o.readOutputs);
    EXPECT_EQ(o.multipliers[7], -0.5);
    EXPECT_EQ(o.csv, "x");
    EXPECT_EQ(o.cycles, 3);
    EXPECT_EQ(ParseCommandLine(words(kRun + " --port /dev/ttyUSB0")).headless.port, "/dev/ttyUSB0");

    struct Case {
        std::string args;
        Mode mode;
        const char* error;
    };
    const Case cases[] = {
        {"", Mode::Window, ""},
        {"-platform offscreen", Mode::Window, ""},  // left to Qt, as before
        {"--version", Mode::Version, ""},
        {kRun + " --help", Mode::Help, ""},
        {kRun + " --port 17", Mode::UsageError, "--port 17: port numbers go from 1 to 16"},
        {kRun + " --station 32", Mode::UsageError, "--station 32: stations go from 0 to 31"},
        {kRun + " --baud 9601", Mode::UsageError, "--baud 9601: use 1200, 2400"},
        {kRun + " --protocol modbus", Mode::UsageError, "--protocol modbus: use korvi"},
        {kRun + " --every 0", Mode::UsageError, "--every 0: give whole seconds from 1 to 60"},
        {kRun + " --read dc,dx", Mode::UsageError, "--read dc,dx: list dc, di and/or do"},
        {kRun + " --multiply 1,2", Mode::UsageError, "--multiply needs eight multipliers"},
        {kRun + " --multiply 1,2,3,4,5,6,7,2e5", Mode::UsageError,
         "--multiply: multiplier 8 (2e5)"},
        {kRun + " --cycles 0", Mode::UsageError, "--cycles 0: give a whole number"},
        {kRun + " --verbose", Mode::UsageError, "unknown option --verbose"},
        {kRun + " --csv", Mode::UsageError, "--csv needs a value"},
        {"--headless --port 1", Mode::UsageError, "missing --baud"},
    };
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(words(c.args));
        EXPECT_EQ(line.mode, c.mode) << c.args;
        EXPECT_EQ(line.error.rfind(c.error, 0), 0u) << c.args << ": " << line.error;
    }
}

}  // namespace
}  // namespace tally
