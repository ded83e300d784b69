// Which operating-system device a port number (1-16) stands for.
//
// On Linux an entry COM<n> in the program folder, or else in the user's
// configuration folder (normally a symbolic link, `ln -s /dev/ttyUSB0 COM1`),
// names port n; without one, port n is the n-th
// serial device present: /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS*
// ports that have hardware behind them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tally {

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 16;

// Where ports are looked up; tests point the folders at a temporary tree.
struct PortEnvironment {
    std::filesystem::path appDir;  // holds the COM<n> entries
    std::filesystem::path devDir = "/dev";
    std::filesystem::path sysTtyDir = "/sys/class/tty";
    // Looked in for COM<n> after appDir: where an installed pair meets, since the
    // simulator cannot link into a program folder it may not write to.
    std::filesystem::path configDir;
};

struct ResolvedPort {
    std::string device;       // path to open; empty when nothing stands for n
    bool present = false;     // the device exists now (it may still be busy or not permitted)
    std::string description;  // one line for the port field's tooltip
};

ResolvedPort ResolvePortDetails(int n, const PortEnvironment& env);
// Same, with the system devices already listed (saves scanning /dev once per port).
ResolvedPort ResolvePortDetails(int n, const PortEnvironment& env,
                                const std::vector<std::string>& systemDevices);
// The device path for port n, or empty.
std::string ResolvePort(int n, const PortEnvironment& env);

// The device to open for a port named by its path rather than its number: a
// name with a "/" in it is a path, relative to the working folder when it does
// not begin with "/" ("lines/COM1"); a bare name is a device in /dev ("ttyUSB0").
std::string DeviceForPath(const std::string& path);

// Serial devices of the system in port order (full paths), without COM<n> entries.
std::vector<std::string> SystemSerialDevices(const PortEnvironment& env);

}  // namespace tally
