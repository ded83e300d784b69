// The program's command line. Its own options are described by one table in
// command_line.cpp, which the help text is built from; Qt's own options
// (-platform NAME, -style NAME, ...) are let through to Qt. Without options the
// window opens; with --headless the module is polled and logged with no window.
#pragma once

#include <string>
#include <vector>

#include "app/options/headless_options.h"

namespace tally {

struct CommandLine {
    // In rising precedence: --help beats --version, either beats the window.
    enum class Action { RunWindow, RunHeadless, ShowVersion, ShowHelp, Fail };
    Action action = Action::RunWindow;
    HeadlessOptions headless;        // Action::RunHeadless
    std::string error;               // why the command line was refused (Action::Fail)
    std::string optionsFile;         // --options-file, already taken in: its options come first
    std::vector<std::string> given;  // the options given ("--port", ...), in order
};

// `args` are the arguments after the program's name, as given.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string CommandLineHelp();
std::string VersionText();

}  // namespace tally
