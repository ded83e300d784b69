// Where the settings file is read and saved. Beside the executable for a copy of
// the program anywhere (the build folder, a copy unpacked anywhere), as long as it
// may write there; an installed program keeps its file in the user's
// configuration folder, in the same format, also when it could write into its own
// folder (root can write into /usr/bin, and a package leaves behind what it did
// not install).
#pragma once

#include <filesystem>

namespace tally {

struct SettingsLocation {
    std::filesystem::path readFile;  // empty: InitialVL4300.ini in the program folder
    std::filesystem::path saveFile;  // likewise
};

// programDir: the executable's folder; besideProgram: whether the file is kept
// there (see SettingsBesideProgram); configDir: the user's configuration folder
// for the program (it need not exist yet). Kept elsewhere, a file found beside the
// program is read until the user has one of their own, so whoever installed the
// program can hand out a first set of settings.
SettingsLocation ChooseSettingsLocation(const std::filesystem::path& programDir, bool besideProgram,
                                        const std::filesystem::path& configDir);

// Whether a program in programDir keeps its settings file beside itself: when it
// may make files there and the folder is not where an installation put it.
bool SettingsBesideProgram(const std::filesystem::path& programDir);

// Whether programDir is the folder of an installed program: a system folder for
// programs (/usr/bin, /usr/local/bin, ...), the one this build installs into, or
// the bin folder of any other prefix the installation filled, which holds the
// program's menu entry in share/applications.
bool InstalledProgramFolder(const std::filesystem::path& programDir);

// Whether new files can be made in the folder (for this user, now).
bool FolderWritable(const std::filesystem::path& folder);

}  // namespace tally
