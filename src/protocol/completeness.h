// When a reply counts as complete, and how long the line may take for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "protocol/protocol.h"

namespace tally {

// Own protocol: the last character is CR. Modbus ASCII: the last two are CR LF.
bool EndsWithTerminator(Protocol protocol, std::string_view rx);

// A Modbus RTU reply has no end marker; its length follows from the request (the
// RTU frame sent) and its own first bytes: an exception is 5 bytes, a write echo 8,
// a read 3 + byte count + 2, the byte count being the one the reply carries or,
// when that is larger, the one the request asked for (a larger one cannot be
// right, and waiting for it would turn a garbled count into a timeout).
// nullopt while too little has arrived to tell.
std::optional<std::size_t> RtuReplyLength(std::string_view request, std::string_view rx);

// Complete now: the terminator rule for the text protocols, a whole frame for RTU.
bool ReplyIsComplete(Protocol protocol, std::string_view request, std::string_view rx);

// The most characters a valid reply to the request can have.
std::size_t LongestReplyLength(Protocol protocol, std::string_view request);

// The time the module has to answer, beyond the time the characters themselves
// take on the line.
constexpr std::int64_t kReplyAllowanceMicros = 300'000;

// Time on the line for that many characters at the baud rate, ten bits a character
// (start, eight data bits, stop).
std::int64_t WireMicros(std::size_t characters, int baud);

// The silence Modbus RTU keeps between frames, before every request: 3.5
// characters of 11 bits (start, eight data bits, parity or a second stop bit,
// stop), rounded up to whole microseconds; a fixed 1750 us above 19200 baud,
// where the character time is too short for the UARTs to tell.
std::int64_t RtuSilenceMicros(int baud);

// How long after the request was written its reply may still come: the allowance
// plus the wire time of the request and of its longest reply.
std::int64_t ReplyTimeoutMicros(Protocol protocol, std::string_view request, int baud);

}  // namespace tally
