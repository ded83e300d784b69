// The port numbers offered in the port list.
#pragma once

#include <vector>

#include "serial/port_resolver.h"

namespace tally {

constexpr int kLastListedPort = 9;  // 10-16 may be typed but are never listed

// Port numbers 1-9, ascending, whose device exists. A port that is busy (locked
// or held by another program) or not permitted counts as existing; probing
// never opens the device, so it cannot disturb one in use. Never throws.
std::vector<int> ListPortNumbers(const PortEnvironment& env);

}  // namespace tally
