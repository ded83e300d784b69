// When a reply counts as complete.
#pragma once

#include <string_view>

#include "protocol/protocol.h"

namespace tally {

// Own protocol: the last character is CR. Modbus ASCII: the last two are CR LF.
// Modbus RTU has no terminator: its reply is whatever arrived by the deadline,
// so this is false for it and the caller decides at the deadline.
bool EndsWithTerminator(Protocol protocol, std::string_view rx);

// Complete now: the terminator rule, or for RTU the deadline having passed.
bool ReplyIsComplete(Protocol protocol, std::string_view rx, bool deadlinePassed);

}  // namespace tally
