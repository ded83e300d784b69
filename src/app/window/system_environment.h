// The program's real surroundings: this machine's serial ports, clock, timers,
// beep and message boxes, and the folder of the executable.
#pragma once

#include <filesystem>

#include "app/window/app_environment.h"
#include "engine/qt_timer.h"
#include "engine/system_clock.h"
#include "serial/port_resolver.h"
#include "serial/posix_serial_port.h"

namespace tally {

class SystemEnvironment {
  public:
    // Ports resolved in `ports.appDir`, then `ports.configDir`; the settings file
    // lives in `appDir` while it is writable and not an installation's folder,
    // else in `ports.configDir` (SettingsBesideProgram).
    SystemEnvironment(const PortEnvironment& ports, const std::filesystem::path& appDir);
    SystemEnvironment(const SystemEnvironment&) = delete;
    SystemEnvironment& operator=(const SystemEnvironment&) = delete;

    // Points at the parts below: valid as long as this object lives.
    const AppEnvironment& env() const { return env_; }
    PosixSerialPort& serial() { return serial_; }

  private:
    PosixSerialPort serial_;
    SystemClock clock_;
    QtTimerFactory timers_;
    AppEnvironment env_;
};

}  // namespace tally
