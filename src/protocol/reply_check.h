// Whether a complete reply may be believed: the one judge of every reply before
// anything is taken from it.
#pragma once

#include <string_view>

#include "protocol/outcome.h"
#include "protocol/protocol.h"

namespace tally {

// How the reply `rx` to `request` (the frame sent) ends:
// - Modbus (ASCII ":" upper-case hex CR LF, or RTU bytes): ChecksumError when the
//   LRC or CRC is wrong; BadReply for another station, another function, a byte
//   count other than the one asked for, bytes beyond the frame or a broken ASCII
//   layout; Exception with its code for the request's function + 80 hex; a write
//   is acknowledged by the echo of the request's first six bytes.
// - Own protocol (no checksum exists): BadReply when a read's body has not its
//   layout (">" then eight fields; sixteen, or eight, "0"/"1" characters) or when
//   a command's reply is not that command's acknowledgement. Single fields are
//   judged by the decoder, which leaves a field it cannot take as it was.
// Only a Success may be decoded and applied.
Outcome CheckReply(Protocol protocol, std::string_view request, std::string_view rx);

}  // namespace tally
