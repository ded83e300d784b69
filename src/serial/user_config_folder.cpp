#include "serial/user_config_folder.h"

#include <cstdlib>

namespace tally {

std::string GenericConfigFolder(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return xdgConfigHome;
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config";
    return {};
}

std::string UserConfigFolder(const char* xdgConfigHome, const char* home) {
    const std::string generic = GenericConfigFolder(xdgConfigHome, home);
    return generic.empty() ? generic : generic + "/tallyscope";
}

std::filesystem::path UserConfigFolder() {
    return UserConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace tally
