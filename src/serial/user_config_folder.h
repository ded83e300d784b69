// The user's configuration folder for the program, e.g. ~/.config/tallyscope:
// where an installed program keeps its settings file and window places, and
// where the simulator puts its COM<n> link for an installed program to find.
//
// Decided here alone, without Qt, so the program and vl4300-sim always agree.
#pragma once

#include <filesystem>
#include <string>

namespace tally {

// The generic configuration folder as the XDG rules give it: $XDG_CONFIG_HOME
// when it is an absolute path (a relative value is invalid and ignored), else
// $HOME/.config; "" without either. The arguments are as getenv gives them
// (null when unset).
std::string GenericConfigFolder(const char* xdgConfigHome, const char* home);

// That folder plus "tallyscope"; "" without one. Fixed by name, so that an
// organisation or application name set later cannot move the user's files.
std::string UserConfigFolder(const char* xdgConfigHome, const char* home);

// The same for this process's environment.
std::filesystem::path UserConfigFolder();

}  // namespace tally
