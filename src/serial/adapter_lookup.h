// Asks the system (QSerialPortInfo) which adapter is behind a device.
#pragma once

#include <string>

#include "serial/port_description.h"

namespace tally {

// `device` as a ResolvedPort names it, e.g. "/dev/ttyUSB0"; an unknown device
// (a pseudo-terminal, a missing one) gives an empty AdapterInfo.
AdapterInfo LookUpAdapter(const std::string& device);

}  // namespace tally
