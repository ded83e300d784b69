// Where the settings file is read and saved. Beside the executable, as long as
// the program may write there (the build folder, a copy unpacked anywhere);
// an installed program cannot, so its file lives in the user's configuration
// folder, in the same format.
#pragma once

#include <filesystem>

namespace tally {

struct SettingsLocation {
    std::filesystem::path readFile;  // empty: InitialVL4300.ini in the program folder
    std::filesystem::path saveFile;  // likewise
};

// programDir: the executable's folder; configDir: the user's configuration
// folder for the program (it need not exist yet). When the program folder is not
// writable, a file found there is read until the user has one of their own, so
// whoever installed the program can hand out a first set of settings.
SettingsLocation ChooseSettingsLocation(const std::filesystem::path& programDir,
                                        bool programDirWritable,
                                        const std::filesystem::path& configDir);

// Whether new files can be made in the folder (for this user, now).
bool FolderWritable(const std::filesystem::path& folder);

}  // namespace tally
