// Where the COM<N> link goes when --dir is not given: beside the executable, where
// tallyscope looks first, when the simulator may write there; otherwise (an
// installed pair) in the user's configuration folder, where tallyscope looks next.
#pragma once

#include <string>

namespace tally::sim {

std::string DefaultLinkFolder(const std::string& exeFolder, bool exeFolderWritable,
                              const std::string& configFolder);

}  // namespace tally::sim
