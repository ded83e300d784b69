#include "app/settings_location.h"

#include <system_error>

#include "app/settings_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tally {

namespace fs = std::filesystem;

SettingsLocation ChooseSettingsLocation(const fs::path& programDir, bool programDirWritable,
                                        const fs::path& configDir) {
    const fs::path beside = SettingsFilePath(programDir);
    if (programDirWritable || configDir.empty()) return {beside, beside};
    const fs::path own = SettingsFilePath(configDir);
    std::error_code ec;
    const bool hasOwn = fs::exists(fs::symlink_status(own, ec));
    const bool hasBeside = fs::exists(fs::symlink_status(beside, ec));
    return {hasOwn || !hasBeside ? own : beside, own};
}

bool FolderWritable(const fs::path& folder) {
#ifdef _WIN32
    return _waccess(folder.c_str(), 2) == 0;
#else
    // Making a file in a folder takes both write and search permission.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

}  // namespace tally
