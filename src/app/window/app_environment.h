// Everything the main window takes from the outside world, so that tests can
// hand in a fake serial port, a fake clock and hand-fired timers.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/window/settings_location.h"
#include "engine/clock.h"
#include "engine/timer.h"
#include "serial/serial_component.h"

namespace tally {

struct AppEnvironment {
    SerialComponent* port = nullptr;
    Clock* clock = nullptr;
    TimerFactory* timers = nullptr;
    // Folder of the executable: the settings file lives here.
    std::filesystem::path appDir;
    // Where the settings file is read and saved when that is not appDir (an
    // installed program); empty paths mean InitialVL4300.ini in appDir.
    SettingsLocation settings;
    // Port numbers 1-9 whose device is present (busy ones included).
    std::function<std::vector<int>()> listPorts;
    // Folders whose entries are the ports listed (the device folder, the port link
    // folders): watched while off line, so the list follows without polling. Empty:
    // the list is looked at every couple of seconds instead.
    std::vector<std::filesystem::path> portFolders;
    // Which device a port number resolves to, for the port field's tooltip.
    std::function<QString(int)> describePort;
    // The device and adapter of a listed port, shown beside its number in the list.
    std::function<QString(int)> portListDetail;
    // The system beep.
    std::function<void()> beep;
    // A message box with one OK button and no icon.
    std::function<void(const QString& title, const QString& text)> messageBox;
};

}  // namespace tally
