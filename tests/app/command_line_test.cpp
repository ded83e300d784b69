#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace tally {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, OwnOptionsActQtOptionsPassOnAndAnythingElseIsRefusedByName) {
    const std::tuple<std::vector<std::string>, Action, std::string> rows[] = {
        {{}, Action::RunWindow, ""},
        {{"-v"}, Action::ShowVersion, ""},
        {{"--version", "--help"}, Action::ShowHelp, ""},
        {{"-h", "-v"}, Action::ShowHelp, ""},
        // Qt takes its own options, with one dash or two; their values are not ours.
        {{"-platform", "offscreen", "--version"}, Action::ShowVersion, ""},
        {{"--style", "fusion", "-reverse", "-session", "x"}, Action::RunWindow, ""},
        {{"-style"}, Action::Fail, "-style needs a value"},
        {{"--verison"}, Action::Fail, "unknown option --verison"},
        {{"--help=yes"}, Action::Fail, "--help takes no value"},
        {{"-h=1"}, Action::Fail, "unknown option -h=1"},
        {{"-"}, Action::Fail, "unexpected argument -"},
        {{"--help", "InitialVL4300.ini"}, Action::Fail, "unexpected argument InitialVL4300.ini"},
    };
    for (const auto& [args, action, error] : rows) {
        const CommandLine line = ParseCommandLine(args);
        EXPECT_EQ(line.action, action) << (args.empty() ? "" : args.front());
        EXPECT_EQ(line.error, error);
    }
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start < line.size();) {
        const std::size_t space = std::min(line.find(' ', start), line.size());
        out.push_back(line.substr(start, space - start));
        start = space + 1;
    }
    return out;
}

TEST(CommandLine, AHeadlessRunTakesItsOptionsAndEveryMistakeIsRefusedWithItsReason) {
    const std::string run =
        "--headless --port 2 --baud 9600 --station 31 --protocol rtu --every 5 --read dc,do --csv "
        "x";
    const CommandLine line =
        ParseCommandLine(words(run + " --multiply 1,2,3,4,5,6,7,-0.5 --cycles=3"));
    ASSERT_EQ(line.action, Action::RunHeadless) << line.error;
    const HeadlessOptions& o = line.headless;
    EXPECT_EQ(o.portNumber, 2);
    EXPECT_EQ(o.baud, 9600);
    EXPECT_EQ(o.station, 31);
    EXPECT_EQ(o.protocol, Protocol::ModbusRtu);
    EXPECT_EQ(o.everySeconds, 5);
    EXPECT_TRUE(o.readCounters && !o.readInputs && o.readOutputs);
    EXPECT_EQ(o.multipliers[7], -0.5);
    EXPECT_EQ(o.csv, "x");
    EXPECT_EQ(o.cycles, 3);
    EXPECT_EQ(ParseCommandLine(words(run + " --port /dev/ttyUSB0")).headless.portNumber, 0);

    const std::pair<std::string, std::string> refused[] = {
        {" --port 17", "--port 17: port numbers go from 1 to 16"},
        {" --station 32", "--station 32: stations go from 0 to 31"},
        {" --baud 9601", "--baud 9601: use 1200, 2400, 4800, 9600, 14400, 19200, 28800 or 57600"},
        {" --protocol modbus", "--protocol modbus: use korvi, ascii or rtu"},
        {" --every 0", "--every 0: give whole seconds from 1 to 60"},
        {" --read dc,dx", "--read dc,dx: list dc, di and/or do, separated by commas"},
        {" --multiply 1,2", "--multiply needs eight multipliers, separated by commas"},
        {" --multiply 1,2,3,4,5,6,7,2e5",
         "--multiply: multiplier 8 (2e5) is not a number from -10000 to 10000"},
        {" --cycles 0", "--cycles 0: give a whole number of at least 1"},
        {" --csv", "--csv needs a value"},
    };
    for (const auto& [extra, error] : refused) {
        const CommandLine bad = ParseCommandLine(words(run + extra));
        EXPECT_EQ(bad.action, Action::Fail) << extra;
        EXPECT_EQ(bad.error, error);
    }
    EXPECT_EQ(ParseCommandLine(words("--headless --port 1")).error, "a headless run needs --baud");
    EXPECT_EQ(ParseCommandLine(words("--port 1")).error,
              "--port belongs to a headless run: add --headless");
}

}  // namespace
}  // namespace tally
