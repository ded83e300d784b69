#include "serial/port_discovery.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tally {

namespace {

#ifdef _WIN32
// Opening is the only probe Windows offers; "access denied" is a port held elsewhere.
bool PortExists(int n, const PortEnvironment&) {
    const std::string name = "\\\\.\\COM" + std::to_string(n);
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}
#else
#endif

}  // namespace

std::vector<int> ListPortNumbers(const PortEnvironment& env) {
    std::vector<int> ports;
#ifndef _WIN32
    std::vector<std::string> systemDevices;
    try {
        systemDevices = SystemSerialDevices(env);
    } catch (...) {
        // Without the system's devices, COM<n> entries can still be listed.
    }
#endif
    for (int n = kFirstPortNumber; n <= kLastListedPort; ++n) {
        try {
#ifdef _WIN32
            if (PortExists(n, env)) ports.push_back(n);
#else
            if (ResolvePortDetails(n, env, systemDevices).present) ports.push_back(n);
#endif
        } catch (...) {
            // A port that cannot be probed is simply not listed.
        }
    }
    return ports;
}

}  // namespace tally
