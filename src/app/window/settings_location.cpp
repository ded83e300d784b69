#include "app/window/settings_location.h"

#include <system_error>

#include "app/window/settings_file.h"

#include <unistd.h>

namespace tally {

namespace fs = std::filesystem;

namespace {

// Where an installation puts the menu entry, from the prefix.
constexpr char kMenuEntry[] = "share/applications/org.tallyscope.Tallyscope.desktop";

// The folder with links resolved and without a trailing separator, so that
// /bin on a merged /usr and /usr/bin/ compare as the same folder.
fs::path Normal(const fs::path& folder) {
    std::error_code ec;
    fs::path normal = fs::weakly_canonical(folder, ec);
    if (ec) normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path())
        normal = normal.parent_path();
    return normal;
}

}  // namespace

SettingsLocation ChooseSettingsLocation(const fs::path& programDir, bool besideProgram,
                                        const fs::path& configDir) {
    const fs::path beside = SettingsFilePath(programDir);
    if (besideProgram || configDir.empty()) return {beside, beside};
    const fs::path own = SettingsFilePath(configDir);
    std::error_code ec;
    const bool hasOwn = fs::exists(fs::symlink_status(own, ec));
    const bool hasBeside = fs::exists(fs::symlink_status(beside, ec));
    return {hasOwn || !hasBeside ? own : beside, own};
}

bool SettingsBesideProgram(const fs::path& programDir) {
    return FolderWritable(programDir) && !InstalledProgramFolder(programDir);
}

bool InstalledProgramFolder(const fs::path& programDir) {
    if (programDir.empty()) return false;
    const fs::path folder = Normal(programDir);
    for (const char* system :
         {"/usr/bin", "/usr/local/bin", "/bin", "/usr/sbin", "/usr/local/sbin", "/sbin"}) {
        if (folder == Normal(system)) return true;
    }
#ifdef TALLYSCOPE_INSTALL_BINDIR
    if (folder == Normal(TALLYSCOPE_INSTALL_BINDIR)) return true;
#endif
    if (folder.filename() != "bin") return false;
    std::error_code ec;
    return fs::exists(folder.parent_path() / kMenuEntry, ec);
}

bool FolderWritable(const fs::path& folder) {
    // Making a file in a folder takes both write and search permission.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace tally
