#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace tally {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, OwnOptionsActQtOptionsPassOnAndAnythingElseIsRefusedByName) {
    struct Row {
        std::vector<std::string> args;
        Action action;
        std::string error;
    };
    const Row rows[] = {
        {{}, Action::RunWindow, ""},
        {{"--version"}, Action::ShowVersion, ""},
        {{"-v"}, Action::ShowVersion, ""},
        {{"-h"}, Action::ShowHelp, ""},
        {{"--version", "--help"}, Action::ShowHelp, ""},
        {{"-h", "-v"}, Action::ShowHelp, ""},
        // Qt takes its own options, with one dash or two; a value is not an argument of ours.
        {{"-platform", "offscreen", "--version"}, Action::ShowVersion, ""},
        {{"--style", "fusion", "-reverse", "-session", "x"}, Action::RunWindow, ""},
        {{"-style"}, Action::Fail, "-style needs a value"},
        {{"--verison"}, Action::Fail, "unknown option --verison"},
        {{"-x"}, Action::Fail, "unknown option -x"},
        {{"--help=yes"}, Action::Fail, "--help takes no value"},
        {{"-h=1"}, Action::Fail, "unknown option -h=1"},
        {{"InitialVL4300.ini"}, Action::Fail, "unexpected argument InitialVL4300.ini"},
        {{"-"}, Action::Fail, "unexpected argument -"},
        // A bad argument refuses the whole line, even after --help.
        {{"--help", "extra"}, Action::Fail, "unexpected argument extra"},
    };
    for (const Row& row : rows) {
        const CommandLine line = ParseCommandLine(row.args);
        std::string joined;
        for (const std::string& a : row.args)
            joined += a + " ";
        EXPECT_EQ(line.action, row.action) << joined;
        EXPECT_EQ(line.error, row.error) << joined;
    }
}

TEST(CommandLine, HelpNamesEveryOptionAndVersionTheRelease) {
    const std::string help = CommandLineHelp();
    for (const char* option : {"-h, --help", "-v, --version", "-platform", "~/.config/tallyscope"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(VersionText(), std::string("tallyscope ") + TALLYSCOPE_VERSION + "\n");
}

}  // namespace
}  // namespace tally
