// What a complete reply means, decided without touching any window.
//
// Only a reply that CheckReply (reply_check.h) found good is decoded for the
// window; the decoder itself still takes values by position and copes with any
// bytes: every value that is missing or does not convert is skipped on its own
// while the others still apply. Acknowledgements are compared exactly, case included.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "protocol/protocol.h"

namespace tally {

struct ReplyMeaning {
    enum class Kind {
        Nothing,       // unrecognised, or a poll step that asks for nothing
        Counters,      // counters[k-1] set where present (finite, not negative)
        Inputs,        // channels[k-1] = input k where present
        Outputs,       // channels[k-1] = output k where present
        OutputAck,     // the output write was acknowledged
        ClearAck,      // "CCT>OK"
        PresetAck,     // "RTC>OK" to a preset (recognised whatever the command code)
        EnableStatus,  // enableFlags[k-1] = flag of counter k
    };
    Kind kind = Kind::Nothing;
    std::array<std::optional<double>, 8> counters{};
    std::array<std::optional<std::int16_t>, 8> channels{};
    std::array<std::int16_t, 8> enableFlags{};
};

// Modbus counter replies (function 03, 32 registers from 0): counter k (1-8) is the
// 32-bit unsigned value, high word first, in registers 2(k-1) and 2(k-1)+1, i.e. data
// bytes 4(k-1) ... 4(k-1)+3 after the byte count. The registers after the eighth
// counter are not used. This is the one place that mapping lives.
constexpr std::size_t kModbusCounterBytes = 4;
// data: the bytes after the byte count, as far as the count and the reply reach.
// nullopt when the counter's four bytes are not all there (the counter keeps its value).
std::optional<double> ModbusCounterValue(std::string_view data, int channel);

// The body of an own-protocol read reply given without its CR: the text between
// the first ">" and the next ">" or the end; nullopt without ">".
std::optional<std::string_view> OwnReplyBody(std::string_view text);

// rx: the received bytes; pollStep: the step code of the request it answers;
// pendingFrame: the frame of the user command in flight (for the Modbus echo).
ReplyMeaning DecodeReplyBytes(std::string_view rx, int pollStep, Protocol protocol,
                              std::string_view pendingFrame);

}  // namespace tally
