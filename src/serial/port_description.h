// The texts that tell the operator which adapter a port number stands for: the
// port field's tooltip and the detail shown beside each number in its list.
#pragma once

#include <string>

#include "serial/port_resolver.h"

namespace tally {

// What the system knows about the adapter behind a device (from its USB
// descriptors); every field may be empty, as for a built-in port.
struct AdapterInfo {
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

// "FTDI FT232R USB UART, serial number A50285BI"; "" when nothing is known.
std::string AdapterText(const AdapterInfo& adapter);

// How the number resolves (ResolvedPort::description), and the adapter on a
// line of its own when the system knows it.
std::string PortToolTip(const ResolvedPort& port, const AdapterInfo& adapter);

// "/dev/ttyUSB0 · FTDI FT232R USB UART, serial number A50285BI", or the
// description alone when the adapter is unknown.
std::string PortListDetail(const ResolvedPort& port, const AdapterInfo& adapter);

}  // namespace tally
