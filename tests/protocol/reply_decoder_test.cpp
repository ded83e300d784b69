#include "protocol/reply_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/checksum.h"
#include "protocol/hex.h"

namespace tally {
namespace {

using namespace std::string_literals;
using Kind = ReplyMeaning::Kind;
using Counters = std::array<std::optional<double>, 8>;

constexpr auto kOwn = Protocol::Own;
constexpr auto kAscii = Protocol::ModbusAscii;
constexpr auto kRtu = Protocol::ModbusRtu;
constexpr std::optional<double> kNone = std::nullopt;

ReplyMeaning Decode(Protocol protocol, int step, std::string_view rx,
                    std::string_view pending = {}) {
    return DecodeReplyBytes(rx, step, protocol, pending);
}

// Channel or flag states as text: "0", "1", "-" for absent, "?" for anything else.
template <typename States>
std::string Flags(const States& states) {
    std::string text;
    for (const std::optional<std::int16_t> s : states)
        text += !s ? '-' : *s == 0 ? '0' : *s == 1 ? '1' : '?';
    return text;
}

// Counters 1-8 of a 32-register read, high word first, then 32 unused bytes.
const std::string kCounterPayload =
    "0103400000000100010000FFFFFFFF800000000000012C0000000012345678000003E8" + std::string(64, '0');
const Counters kCounterValues = {1, 65536, 4294967295.0, 2147483648.0, 300, 0, 305419896, 1000};

TEST(CounterReply, FillsThePresentCountersAndLeavesMissingOrUnreadableOnesAbsent) {
    const std::string payload7 = "01030700000001000000", payload6 = "010306000000010000";
    const std::vector<std::tuple<Protocol, std::string, Counters>> cases = {
        {kOwn,
         "01>00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r",
         {16, 10, 0, 0, 0, 0, 0, 4294967295.0}},
        {kOwn, ">00000001,00000002\r", {1, 2}},
        {kOwn, "00000001,00000002\r", {}},  // no ">": nothing changes, yet it is a counter reply
        {kOwn, ">" + std::string(30, ',') + "\r", {}},
        {kOwn, ">\r", {}},
        {kOwn, ">", {}},
        {kOwn, "abc>", {}},
        {kOwn, "", {}},
        {kOwn, ">,0000000B,,\r", {kNone, 11}},         // empty fields are missing, not zero
        {kOwn, ">00000001>00000002,00000003\r", {1}},  // the body ends at the next ">"
        // A field is one to eight hex digits, or it is not taken.
        {kOwn,
         ">0000001G,ffff,123456789," + std::string(600, 'F') + ",1\r",
         {kNone, 65535, kNone, kNone, 1}},
        {kAscii, ":" + kCounterPayload + LrcOfHex(kCounterPayload) + "\r\n", kCounterValues},
        {kAscii, ":" + payload7 + LrcOfHex(payload7) + "\r\n", {1}},  // the LRC is no data
        {kAscii, ":0103400000000100000\r\n", {1}},
        {kAscii, ":010340\r\n", {}},
        {kAscii, "", {}},
        {kRtu, HexToBytes(kCounterPayload + CrcOfHex(kCounterPayload)), kCounterValues},
        {kRtu, HexToBytes(payload6 + CrcOfHex(payload6)), {1}},    // the CRC is no data
        {kRtu, HexToBytes("01034000000007000000090000"), {7, 9}},  // cut short by the deadline
        {kRtu, "\x01\x03\x40", {}},
        {kRtu, "\x01\x03", {}},
        {kRtu, "", {}}};
    for (const auto& [protocol, rx, counters] : cases) {
        const auto m = Decode(protocol, 10, rx);
        EXPECT_EQ(m.kind, Kind::Counters) << BytesToHex(rx);
        EXPECT_EQ(m.counters, counters) << BytesToHex(rx);
    }
}

TEST(ModbusCounterValue, IsAbsentOutsideTheEightChannelsOrWithoutAllFourBytes) {
    const std::string data = "\0\1\0\0\xFF\xFF\xFF"s, full(40, '\x01');
    EXPECT_EQ(ModbusCounterValue(data, 1), 65536.0);
    EXPECT_EQ(ModbusCounterValue(data, 2), kNone);
    for (const int channel : {0, 9, -1})
        EXPECT_EQ(ModbusCounterValue(full, channel), kNone) << channel;
}

TEST(FlagReply, InputsAndOutputsComeFromTheirPositionsAndAnythingElseIsAbsent) {
    const std::vector<std::tuple<Protocol, int, std::string, std::string>> cases = {
        // Own inputs are body characters 9-16, outputs 1-8; only "0" and "1" count.
        {kOwn, 20, ">0000000010000001\r", "10000001"},
        {kOwn, 20, "DI>1111111100000000\r", "00000000"},
        {kOwn, 20, ">000000001010\r", "1010----"},
        {kOwn, 20, ">00000000 1x0-1A0\r", "-1-0-1-0"},
        {kOwn, 20, "0000000010000001\r", "--------"},
        {kOwn, 30, ">10000001\r", "10000001"},
        {kOwn, 30, "DO>01100110xxxx\r", "01100110"},
        {kOwn, 30, ">1000000\r", "1000000-"},  // the CR is no channel
        {kOwn, 30, ">1>0000000\r", "1-------"},
        {kOwn, 30, ">\x01\xFF"s + "0\r", "--0-----"},
        // Modbus: the first data byte, address and checksum unchecked.
        {kAscii, 20, ":01020105F7\r\n", "10100000"},
        {kAscii, 30, ":010101817C\r\n", "10000001"},
        {kAscii, 20, ":1F0201FF00\r\n", "11111111"},
        {kRtu, 30, "\x01\x01\x01\x81\x91\xE8", "10000001"},
        {kRtu, 20, "\x01\x02\x01\x05", "10100000"},  // no CRC needed
        // Too short for the first data byte: every channel stays absent.
        {kAscii, 20, ":010201\r\n", "--------"},
        {kAscii, 30, ":0102010\r\n", "--------"},
        {kAscii, 20, "\r\n", "--------"},
        {kAscii, 30, ":", "--------"},
        {kAscii, 20, "", "--------"},
        {kRtu, 30, "", "--------"},
        {kRtu, 20, "", "--------"},
        {kRtu, 20, "\x01", "--------"},
        {kRtu, 30, "\x01\x01\x01", "--------"}};
    for (const auto& [protocol, step, rx, channels] : cases) {
        const auto m = Decode(protocol, step, rx);
        EXPECT_EQ(m.kind, step == 20 ? Kind::Inputs : Kind::Outputs) << BytesToHex(rx);
        EXPECT_EQ(Flags(m.channels), channels) << BytesToHex(rx);
    }
}

TEST(CommandReply, OwnAcknowledgementsAreExactCaseSensitiveTextsWhateverTheCommandCode) {
    EXPECT_EQ(Decode(kOwn, 3, "DO>OK\r").kind, Kind::OutputAck);
    EXPECT_EQ(Decode(kOwn, 1, "DO>OK\r").kind, Kind::OutputAck);
    EXPECT_EQ(Decode(kOwn, 1, "CCT>OK\r").kind, Kind::ClearAck);
    EXPECT_EQ(Decode(kOwn, 13, "CCT>OK\r").kind, Kind::ClearAck);
    EXPECT_EQ(Decode(kOwn, 2, "RTC>OK\r").kind, Kind::PresetAck);
    EXPECT_EQ(Decode(kOwn, 4, "RTC>OK\r").kind, Kind::PresetAck);
    // A near miss, or a poll reply arriving for a command, is no acknowledgement.
    for (const std::string rx : {"DO>OK\r\n", "DO>OK", "do>ok\r", " DO>OK\r", "CCT>OK\r\r", "",
                                 ">00000001,00000002\r", ">10000001\r"})
        for (const int step : {1, 3, 13, 31})
            EXPECT_EQ(Decode(kOwn, step, rx).kind, Kind::Nothing) << rx << " " << step;
}

TEST(CommandReply, ModbusWritesAreAcknowledgedByAnEchoOfTheirStartOnly) {
    const std::string toggleAscii = ":01050000FF00FB\r\n";
    const std::string toggleRtu = HexToBytes("0105000700007C0B");
    const std::string readRtu = HexToBytes("0103000000204412");
    const std::vector<std::tuple<Protocol, std::string, std::string, Kind>> cases = {
        // ASCII compares 13 characters, RTU 6 bytes; only functions 05 and 0F are writes.
        {kAscii, toggleAscii, toggleAscii, Kind::OutputAck},
        {kAscii, ":010F0000000800\r\n", ":010F0000000801FFE8\r\n", Kind::OutputAck},
        {kAscii, ":01050000FF00", toggleAscii, Kind::OutputAck},
        {kAscii, ":01050000ff00fb\r\n", toggleAscii, Kind::Nothing},
        {kAscii, ":010500000000FB\r\n", toggleAscii, Kind::Nothing},
        {kAscii, ":01050000FF0", toggleAscii, Kind::Nothing},
        {kAscii, ":0105", ":0105", Kind::Nothing},
        {kAscii, "", "", Kind::Nothing},
        {kAscii, ":010100000008F6\r\n", ":010100000008F6\r\n", Kind::Nothing},
        {kAscii, "DO>OK\r", toggleAscii, Kind::Nothing},
        {kRtu, toggleRtu, toggleRtu, Kind::OutputAck},
        {kRtu, toggleRtu.substr(0, 6), toggleRtu, Kind::OutputAck},
        {kRtu, HexToBytes("010F000000085408"), HexToBytes("010F000000080100FE95"), Kind::OutputAck},
        {kRtu, toggleRtu.substr(0, 5), toggleRtu, Kind::Nothing},
        {kRtu, HexToBytes("010500070001"), toggleRtu, Kind::Nothing},
        {kRtu, readRtu, readRtu, Kind::Nothing},
        {kRtu, "", "", Kind::Nothing}};
    for (const auto& [protocol, rx, pending, kind] : cases)
        EXPECT_EQ(Decode(protocol, 3, rx, pending).kind, kind) << BytesToHex(rx);
    // Own-protocol texts mean nothing under Modbus.
    for (const auto p : {kAscii, kRtu})
        for (const std::string rx : {"RTC>A5\r", "CCT>OK\r", "RTC>OK\r", "DO>OK\r"})
            for (const int step : {1, 2, 3, 4})
                EXPECT_EQ(Decode(p, step, rx, rx).kind, Kind::Nothing) << rx;
}

TEST(CommandReply, StatusReplyGivesTheEnableFlagsOnlyWhenTheUnitsDigitIsFour) {
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"RTC>A5\r", 4, "10100101"},
        {"RTC>05\r", 4, "10100000"},
        {"RTC>FF\r", 24, "11111111"},
        {"RTC>a5\r", 4, "10100101"},
        {"RTC>", 4, "00000000"},
        {"RTC>5", 4, "10100000"}};  // fewer than two digits: the missing flags read as 0
    for (const auto& [rx, step, flags] : cases) {
        const auto m = Decode(kOwn, step, rx);
        EXPECT_EQ(m.kind, Kind::EnableStatus) << rx;
        EXPECT_EQ(Flags(m.enableFlags), flags) << rx;
    }
    for (const int step : {1, 2, 3, 13, -4, 0, 10})
        EXPECT_NE(Decode(kOwn, step, "RTC>A5\r").kind, Kind::EnableStatus) << step;
}

TEST(PollStep, OnlyTheThreeReadsOfTheCycleAskForAnything) {
    for (const auto p : {kOwn, kAscii, kRtu})
        for (const int step : {0, 40, 110, 120, 1000, 1030, -10, -20})
            EXPECT_EQ(Decode(p, step, ">10000001\r").kind, Kind::Nothing) << step;
    EXPECT_EQ(Decode(static_cast<Protocol>(7), 10, ">10000001\r").kind, Kind::Nothing);
}

}  // namespace
}  // namespace tally
