#include "sim/link_folder.h"

namespace tally::sim {

std::string UserConfigFolder(const char* xdgConfigHome, const char* home) {
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/')
        return std::string(xdgConfigHome) + "/tallyscope";
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/tallyscope";
    return {};
}

std::string DefaultLinkFolder(const std::string& exeFolder, bool exeFolderWritable,
                              const std::string& configFolder) {
    return exeFolderWritable || configFolder.empty() ? exeFolder : configFolder;
}

}  // namespace tally::sim
