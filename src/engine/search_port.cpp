#include "engine/search_port.h"

#include <string>

namespace tally {

void SearchPort::OpenAt(int baud) {
    Close();
    if (commPort_ < 1) throw SerialError("The port number is not a number.");
    port_.SetCommPort(static_cast<std::int16_t>(commPort_));
    port_.SetSettings(std::to_string(baud) + ",n,8,1");
    port_.SetPortOpen(true);
}

void SearchPort::Close() {
    try {
        if (port_.PortOpen()) port_.SetPortOpen(false);
    } catch (const SerialError&) {
        // A port that is already gone cannot be closed any further.
    }
}

void SearchPort::SendProbe(const Probe& probe) {
    engine_.SendProbe(probe);
}

}  // namespace tally
