// What the extra windows remember (sizes, positions, the last log file).
//
// The user's own configuration, ~/.config/tallyscope/tallyscope.conf on Linux:
// never the settings file beside the program, whose format is fixed. One place,
// so every window writes to the same file.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace tally {

inline std::unique_ptr<QSettings> UserSettings() {
    return std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("tallyscope"),
                                       QStringLiteral("tallyscope"));
}

}  // namespace tally
