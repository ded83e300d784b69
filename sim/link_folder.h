// Where the COM<N> link goes when --dir is not given: beside the executable, where
// tallyscope looks first, when the simulator may write there; otherwise (an
// installed pair) in the user's configuration folder, where tallyscope looks next.
#pragma once

#include <string>

namespace tally::sim {

// $XDG_CONFIG_HOME/tallyscope when that is an absolute path, else
// $HOME/.config/tallyscope (as Qt finds it for tallyscope); "" without either.
// Either argument may be null, as getenv gives them.
std::string UserConfigFolder(const char* xdgConfigHome, const char* home);

std::string DefaultLinkFolder(const std::string& exeFolder, bool exeFolderWritable,
                              const std::string& configFolder);

}  // namespace tally::sim
