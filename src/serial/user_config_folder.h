// The user's configuration folder for the program, e.g. ~/.config/tallyscope:
// where an installed program keeps its settings file and finds COM<n> links.
#pragma once

#include <filesystem>

namespace tally {

// The generic configuration folder (XDG_CONFIG_HOME, else ~/.config) plus
// "tallyscope": what QStandardPaths::AppConfigLocation gives this program. It is
// fixed by name, so that an organisation or application name set later cannot
// move the user's file, and so that vl4300-sim, which has no Qt, finds the same
// folder. Empty when the system has no such folder.
std::filesystem::path UserConfigFolder();

}  // namespace tally
