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

}  // namespace
}  // namespace tally
