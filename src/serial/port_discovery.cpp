#include "serial/port_discovery.h"

namespace tally {

std::vector<int> ListPortNumbers(const PortEnvironment& env) {
    std::vector<int> ports;
    std::vector<std::string> systemDevices;
    try {
        systemDevices = SystemSerialDevices(env);
    } catch (...) {
        // Without the system's devices, COM<n> entries can still be listed.
    }
    for (int n = kFirstPortNumber; n <= kLastListedPort; ++n) {
        try {
            if (ResolvePortDetails(n, env, systemDevices).present) ports.push_back(n);
        } catch (...) {
            // A port that cannot be probed is simply not listed.
        }
    }
    return ports;
}

}  // namespace tally
