#include "sim/link_folder.h"

namespace tally::sim {

std::string DefaultLinkFolder(const std::string& exeFolder, bool exeFolderWritable,
                              const std::string& configFolder) {
    return exeFolderWritable || configFolder.empty() ? exeFolder : configFolder;
}

}  // namespace tally::sim
