#include "serial/user_config_folder.h"

#include <QStandardPaths>

namespace tally {

std::filesystem::path UserConfigFolder() {
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (generic.isEmpty()) return {};
    return std::filesystem::path(generic.toStdU16String()) / "tallyscope";
}

}  // namespace tally
