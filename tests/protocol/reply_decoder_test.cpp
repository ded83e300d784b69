// What a checked reply means. Only replies the reply check accepted reach the decoder,
// so the cases are good replies; the sanitizer run feeds it everything else.
#include "protocol/reply_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "protocol/frames.h"

namespace tally {
namespace {

using Kind = ReplyMeaning::Kind;
using Counters = std::array<std::optional<double>, 8>;
constexpr auto kOwn = Protocol::Own, kAscii = Protocol::ModbusAscii, kRtu = Protocol::ModbusRtu;

ReplyMeaning Decode(Protocol protocol, int step, const std::string& rx,
                    const std::string& pending = {}) {
    return DecodeReplyBytes(rx, step, protocol, pending);
}

// Channel or flag states as text: "0", "1", "-" for absent.
template <typename States>
std::string Flags(const States& states) {
    std::string text;
    for (const std::optional<std::int16_t> s : states)
        text += !s ? '-' : *s == 1 ? '1' : '0';
    return text;
}

std::string Framed(Protocol protocol, const std::string& payload) {
    return protocol == kAscii ? ModbusAsciiFrame(payload) : ModbusRtuFrame(payload);
}

TEST(CounterReply, OwnFieldsAndModbusRegistersHighWordFirst) {
    const Counters values = {1, 65536, 4294967295.0, 2147483648.0, 300, 0, 305419896, 1000};
    const std::string payload =
        "0103400000000100010000FFFFFFFF800000000000012C0000000012345678000003E8" +
        std::string(64, '0');
    for (const Protocol p : {kAscii, kRtu})
        EXPECT_EQ(Decode(p, 10, Framed(p, payload)).counters, values);
    // A field that is not one to eight hex digits is missing, not zero; text around the
    // body is no field.
    const auto own = Decode(kOwn, 10, "RCT>1,ffff,123456789,G,,0,0,FFFFFFFF>tail\r");
    EXPECT_EQ(own.kind, Kind::Counters);
    EXPECT_EQ(own.counters, (Counters{1, 65535, {}, {}, {}, 0, 0, 4294967295.0}));
}

TEST(FlagReply, InputsAndOutputsComeFromTheirPositions) {
    const std::vector<std::tuple<Protocol, int, std::string, std::string>> cases = {
        // Own inputs are body characters 9-16, outputs 1-8.
        {kOwn, 20, ">0000000010000001\r", "10000001"},
        {kOwn, 30, ">01100110\r", "01100110"},
        // Modbus: the first data byte, bit 0 first.
        {kAscii, 20, ModbusAsciiFrame("01020105"), "10100000"},
        {kRtu, 30, ModbusRtuFrame("01010181"), "10000001"},
    };
    for (const auto& [protocol, step, rx, channels] : cases) {
        const auto m = Decode(protocol, step, rx);
        EXPECT_EQ(m.kind, step == 20 ? Kind::Inputs : Kind::Outputs) << rx;
        EXPECT_EQ(Flags(m.channels), channels) << rx;
    }
}

TEST(CommandReply, AcknowledgementsEchoesAndTheEnableStatusByTheUnitsDigit) {
    EXPECT_EQ(Decode(kOwn, 3, "DO>OK\r").kind, Kind::OutputAck);
    EXPECT_EQ(Decode(kOwn, 13, "CCT>OK\r").kind, Kind::ClearAck);
    EXPECT_EQ(Decode(kOwn, 2, "RTC>OK\r").kind, Kind::PresetAck);
    // Modbus writes are acknowledged by their echo; a read's echo is no acknowledgement.
    for (const Protocol p : {kAscii, kRtu}) {
        const std::string toggle = *BuildFrame(p, "01", ToggleOutputRequest(1, 0));
        const std::string all = *BuildFrame(p, "01", AllOutputsRequest(true));
        const std::string read = *BuildFrame(p, "01", ReadOutputsRequest());
        EXPECT_EQ(Decode(p, 3, toggle, toggle).kind, Kind::OutputAck);
        EXPECT_EQ(Decode(p, 3, Framed(p, "010F00000008"), all).kind, Kind::OutputAck);
        EXPECT_EQ(Decode(p, 3, read, read).kind, Kind::Nothing);
    }
    // The status flags, counter 1 in the lowest bit; only a status request (units 4) has them.
    for (const std::string rx : {"RTC>A5\r", "RTC>a5\r"}) {
        const auto m = Decode(kOwn, 24, rx);
        EXPECT_EQ(m.kind, Kind::EnableStatus);
        EXPECT_EQ(Flags(m.enableFlags), "10100101");
    }
    EXPECT_NE(Decode(kOwn, 3, "RTC>A5\r").kind, Kind::EnableStatus);
}

}  // namespace
}  // namespace tally
