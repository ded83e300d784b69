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
        // Qt takes its own options, with one dash or two; their values are not ours.
        {{"-platform", "offscreen", "--version"}, Action::ShowVersion, ""},
        {{"--style", "fusion", "-reverse", "-session", "x"}, Action::RunWindow, ""},
        {{"-style"}, Action::Fail, "-style needs a value"},
        {{"--verison"}, Action::Fail, "unknown option --verison"},
        {{"--help=yes"}, Action::Fail, "--help takes no value"},
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
    EXPECT_TRUE(o.portNumber == 2 && o.baud == 9600 && o.station == 31 && o.everySeconds == 5 &&
                o.protocol == Protocol::ModbusRtu && o.csv == "x" && o.cycles == 3);
    EXPECT_TRUE(o.readCounters && !o.readInputs && o.readOutputs && o.multipliers[7] == -0.5);
    // Station 0 in the own protocol; any count of cycles a 64-bit number holds.
    const CommandLine own =
        ParseCommandLine(words(run + " --station 0 --protocol korvi --cycles 9223372036854775807"));
    ASSERT_EQ(own.action, Action::RunHeadless) << own.error;
    EXPECT_EQ(own.headless.station, 0);
    EXPECT_EQ(own.headless.cycles, 9223372036854775807);
    EXPECT_EQ(ParseCommandLine(words(run + " --cycles 99999999999999")).headless.cycles,
              99999999999999);

    const std::pair<std::string, std::string> refused[] = {
        {run + " --port 17", "--port 17: port numbers go from 1 to 16"},
        {run + " --baud 9601",
         "--baud 9601: use 1200, 2400, 4800, 9600, 14400, 19200, 28800 or 57600"},
        {run + " --multiply 1,2,3,4,5,6,7,2e5",
         "--multiply: multiplier 8 (2e5) is not a number from -10000 to 10000"},
        {"--headless --port 1", "a headless run needs --baud"},
        {run + " --cycles 9223372036854775808",
         "--cycles 9223372036854775808: give a whole number from 1 to 9223372036854775807"},
        {run + " --cycles 0", "--cycles 0: give a whole number from 1 to 9223372036854775807"},
        {run + " --cycles -3", "--cycles -3: give a whole number from 1 to 9223372036854775807"},
        {run + " --station 32", "--station 32: stations go from 0 to 31"},
        {"--port 1", "--port belongs to a headless run: add --headless"},
    };
    for (const auto& [args, error] : refused) {
        const CommandLine bad = ParseCommandLine(words(args));
        EXPECT_EQ(bad.action, Action::Fail) << args;
        EXPECT_EQ(bad.error, error);
    }
}

}  // namespace
}  // namespace tally
