#include "protocol/reply_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/hex.h"
#include "test_bytes.h"

namespace tally {
namespace {

using Kind = ReplyMeaning::Kind;
using test::ByteString;
using Channels = std::array<std::optional<std::int16_t>, 8>;
using Counters = std::array<std::optional<double>, 8>;

constexpr std::optional<std::int16_t> kAbsent = std::nullopt;
constexpr std::optional<double> kNoValue = std::nullopt;

ReplyMeaning Decode(std::string_view rx, int step, Protocol p, std::string_view pending = {}) {
    return DecodeReplyBytes(rx, step, p, pending);
}

// ---- Own protocol, reads of the poll cycle ----

TEST(OwnCounterReply, EightHexFieldsAfterTheFirstAngleBracket) {
    const auto m =
        Decode("01>00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r", 10,
               Protocol::Own);
    EXPECT_EQ(m.kind, Kind::Counters);
    EXPECT_EQ(m.counters, (Counters{16, 10, 0, 0, 0, 0, 0, 4294967295.0}));
}

TEST(OwnCounterReply, MissingFieldsLeaveTheirCountersAsTheyWere) {
    struct Case {
        std::string rx;
        Counters counters;
    };
    const std::vector<Case> cases = {
        // Without ">" nothing changes, yet the monitor is still redrawn.
        {"00000001,00000002\r", {}},
        {">00000001,00000002\r", {1, 2, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue}},
        // Empty fields are missing values, not zeros.
        {">,0000000B,,\r", {kNoValue, 11}},
        {">" + std::string(30, ',') + "\r", {}},
        // The body ends at the next ">".
        {">00000001>00000002,00000003\r", {1}},
        {">\r", {}},
        {">", {}},
        {"", {}},
        {"abc>", {}},
    };
    for (const auto& c : cases) {
        const auto m = Decode(c.rx, 10, Protocol::Own);
        EXPECT_EQ(m.kind, Kind::Counters) << c.rx;
        EXPECT_EQ(m.counters, c.counters) << c.rx;
    }
}

TEST(OwnCounterReply, FieldsAreReadByTheGroupValueRuleAndOverlongOnesAreSkipped) {
    const auto m = Decode(">0000001G,ffff," + std::string(600, 'F') + "\r", 10, Protocol::Own);
    EXPECT_EQ(m.counters[0], 1.0);
    EXPECT_EQ(m.counters[1], 65535.0);
    EXPECT_EQ(m.counters[2], kNoValue);
}

TEST(OwnInputReply, BodyCharactersNineToSixteenAreInputsOneToEight) {
    struct Case {
        std::string rx;
        Channels channels;
    };
    const std::vector<Case> cases = {
        {">0000000010000001\r", {1, 0, 0, 0, 0, 0, 0, 1}},
        {"DI>1111111100000000\r", {0, 0, 0, 0, 0, 0, 0, 0}},
        // Too short: the missing channels keep their states.
        {">000000001010\r", {1, 0, 1, 0, kAbsent, kAbsent, kAbsent, kAbsent}},
        // Anything but "0" and "1" leaves that channel as it was.
        {">00000000 1x0-1A0\r", {kAbsent, 1, kAbsent, 0, kAbsent, 1, kAbsent, 0}},
        {"0000000010000001\r", {}},
    };
    for (const auto& c : cases) {
        const auto m = Decode(c.rx, 20, Protocol::Own);
        EXPECT_EQ(m.kind, Kind::Inputs) << c.rx;
        EXPECT_EQ(m.channels, c.channels) << c.rx;
    }
}

TEST(OwnOutputReply, BodyCharactersOneToEightAreOutputsOneToEight) {
    struct Case {
        std::string rx;
        Channels channels;
    };
    const std::vector<Case> cases = {
        {">10000001\r", {1, 0, 0, 0, 0, 0, 0, 1}},
        {"DO>01100110xxxx\r", {0, 1, 1, 0, 0, 1, 1, 0}},
        // The CR is the terminator, never channel 8.
        {">1000000\r", {1, 0, 0, 0, 0, 0, 0, kAbsent}},
        {">1>0000000\r", {1}},
        {">\x01\xFF"
         "0\r",
         {kAbsent, kAbsent, 0}},
    };
    for (const auto& c : cases) {
        const auto m = Decode(c.rx, 30, Protocol::Own);
        EXPECT_EQ(m.kind, Kind::Outputs) << c.rx;
        EXPECT_EQ(m.channels, c.channels) << c.rx;
    }
}

// ---- Own protocol, replies to user commands ----

struct AckCase {
    std::string rx;
    int step;
    Kind kind;
};

TEST(OwnCommandReply, AcknowledgementsAreExactCaseSensitiveTexts) {
    const std::vector<AckCase> cases = {
        {"DO>OK\r", 3, Kind::OutputAck},
        {"CCT>OK\r", 1, Kind::ClearAck},
        {"RTC>OK\r", 2, Kind::PresetAck},
        // Recognised by wording whatever the command code.
        {"DO>OK\r", 1, Kind::OutputAck},
        {"CCT>OK\r", 13, Kind::ClearAck},
        {"RTC>OK\r", 4, Kind::PresetAck},
        // One character too many, too few, or another case is no acknowledgement.
        {"DO>OK\r\n", 3, Kind::Nothing},
        {"DO>OK", 3, Kind::Nothing},
        {"do>ok\r", 3, Kind::Nothing},
        {" DO>OK\r", 3, Kind::Nothing},
        {"CCT>OK\r\r", 1, Kind::Nothing},
        {"", 3, Kind::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.rx, c.step, Protocol::Own).kind, c.kind) << c.rx << " " << c.step;
}

TEST(OwnCommandReply, StatusReplyGivesTheEnableFlagsOnlyToTheEnableRead) {
    struct Case {
        std::string rx;
        int step;
        std::array<std::int16_t, 8> flags;
    };
    const std::vector<Case> cases = {
        {"RTC>A5\r", 4, {1, 0, 1, 0, 0, 1, 0, 1}},
        {"RTC>05\r", 4, {1, 0, 1, 0, 0, 0, 0, 0}},
        {"RTC>FF\r", 24, {1, 1, 1, 1, 1, 1, 1, 1}},
        {"RTC>a5\r", 4, {1, 0, 1, 0, 0, 1, 0, 1}},
        // Fewer than two digits: the flags that are not there read as 0.
        {"RTC>5", 4, {1, 0, 1, 0, 0, 0, 0, 0}},
        {"RTC>", 4, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const auto m = Decode(c.rx, c.step, Protocol::Own);
        EXPECT_EQ(m.kind, Kind::EnableStatus) << c.rx;
        EXPECT_EQ(m.enableFlags, c.flags) << c.rx;
    }
    for (const int step : {1, 2, 3, 13, -4, 0, 10})
        EXPECT_NE(Decode("RTC>A5\r", step, Protocol::Own).kind, Kind::EnableStatus) << step;
}

TEST(OwnCommandReply, IsNeverAlsoReadAsAPollReply) {
    EXPECT_EQ(Decode(">00000001,00000002\r", 13, Protocol::Own).kind, Kind::Nothing);
    EXPECT_EQ(Decode(">10000001\r", 31, Protocol::Own).kind, Kind::Nothing);
}

// ---- Modbus ASCII ----

TEST(AsciiFlagReply, CharactersEightAndNineAreTheFirstDataByte) {
    const auto inputs = Decode(":01020105F7\r\n", 20, Protocol::ModbusAscii);
    EXPECT_EQ(inputs.kind, Kind::Inputs);
    EXPECT_EQ(inputs.channels, (Channels{1, 0, 1, 0, 0, 0, 0, 0}));

    const auto outputs =
        Decode(":01010181" + LrcOfHex("01010181") + "\r\n", 30, Protocol::ModbusAscii);
    EXPECT_EQ(outputs.kind, Kind::Outputs);
    EXPECT_EQ(outputs.channels, (Channels{1, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(AsciiFlagReply, NeitherAddressNorLrcIsChecked) {
    EXPECT_EQ(Decode(":1F0201FF00\r\n", 20, Protocol::ModbusAscii).channels,
              (Channels{1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(AsciiFlagReply, TooShortForTheFirstDataByteKeepsEveryChannel) {
    for (const char* rx : {":010201\r\n", ":0102010\r\n", "", "\r\n", ":"}) {
        for (const int step : {20, 30}) {
            const auto m = Decode(rx, step, Protocol::ModbusAscii);
            EXPECT_EQ(m.kind, step == 20 ? Kind::Inputs : Kind::Outputs) << rx;
            EXPECT_EQ(m.channels, Channels{}) << rx;
        }
    }
}

// 32 registers: counters 1-8 in the first 32 data bytes, then 32 unused bytes.
std::string CounterData() {
    return "00000001"
           "00010000"
           "FFFFFFFF"
           "80000000"
           "0000012C"
           "00000000"
           "12345678"
           "000003E8" +
           std::string(64, '0');
}

TEST(AsciiCounterReply, CounterKIsFourBytesHighWordFirstAfterTheByteCount) {
    const std::string payload = "010340" + CounterData();
    const auto m = Decode(":" + payload + LrcOfHex(payload) + "\r\n", 10, Protocol::ModbusAscii);
    EXPECT_EQ(m.kind, Kind::Counters);
    EXPECT_EQ(m.counters,
              (Counters{1, 65536, 4294967295.0, 2147483648.0, 300, 0, 305419896, 1000}));
}

TEST(AsciiCounterReply, TheByteCountKeepsTheLrcOutOfTheCounters) {
    // Seven data bytes declared: the LRC after them does not complete counter 2.
    const std::string payload =
        "010307"
        "00000001"
        "000000";
    const auto m = Decode(":" + payload + LrcOfHex(payload) + "\r\n", 10, Protocol::ModbusAscii);
    EXPECT_EQ(m.counters, (Counters{1}));
}

TEST(AsciiCounterReply, ACounterWithoutAllFourBytesKeepsItsValue) {
    EXPECT_EQ(Decode(":0103400000000100000\r\n", 10, Protocol::ModbusAscii).counters,
              (Counters{1}));
    EXPECT_EQ(Decode(":010340\r\n", 10, Protocol::ModbusAscii).counters, Counters{});
    EXPECT_EQ(Decode("", 10, Protocol::ModbusAscii).kind, Kind::Counters);
}

TEST(AsciiCommandReply, EchoOfTheFirstThirteenCharactersAcknowledgesAWrite) {
    const std::string toggle = *BuildFrame(Protocol::ModbusAscii, "01", ToggleOutputRequest(1, 0));
    const std::string allOn = *BuildFrame(Protocol::ModbusAscii, "01", AllOutputsRequest(true));
    const std::string read = *BuildFrame(Protocol::ModbusAscii, "01", ReadOutputsRequest());
    struct Case {
        std::string rx;
        std::string pending;
        Kind kind;
    };
    const std::vector<Case> cases = {
        {":01050000FF00FB\r\n", toggle, Kind::OutputAck},
        // The multiple-coil reply has a different tail; only 13 characters count.
        {":010F0000000800\r\n", allOn, Kind::OutputAck},
        {":01050000FF00", toggle, Kind::OutputAck},
        {":01050000ff00fb\r\n", toggle, Kind::Nothing},
        {":010500000000FB\r\n", toggle, Kind::Nothing},
        {":01050000FF0", toggle, Kind::Nothing},
        {":0105", ":0105", Kind::Nothing},
        {"", "", Kind::Nothing},
        // An echo of anything but function 05 or 0F is no write acknowledgement.
        {read, read, Kind::Nothing},
        {"DO>OK\r", toggle, Kind::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.rx, 3, Protocol::ModbusAscii, c.pending).kind, c.kind) << c.rx;
}

// ---- Modbus RTU ----

TEST(RtuFlagReply, ByteFourIsTheFirstDataByte) {
    const auto outputs =
        Decode(ByteString({0x01, 0x01, 0x01, 0x81, 0x91, 0xE8}), 30, Protocol::ModbusRtu);
    EXPECT_EQ(outputs.kind, Kind::Outputs);
    EXPECT_EQ(outputs.channels, (Channels{1, 0, 0, 0, 0, 0, 0, 1}));

    // Nothing after the data byte: no CRC is needed.
    const auto inputs = Decode(ByteString({0x01, 0x02, 0x01, 0x05}), 20, Protocol::ModbusRtu);
    EXPECT_EQ(inputs.kind, Kind::Inputs);
    EXPECT_EQ(inputs.channels, (Channels{1, 0, 1, 0, 0, 0, 0, 0}));
}

TEST(RtuFlagReply, NoAnswerOrTooShortKeepsEveryChannel) {
    for (const std::string& rx : {std::string(), ByteString({0x01}), ByteString({1, 1, 1})}) {
        EXPECT_EQ(Decode(rx, 20, Protocol::ModbusRtu).kind, Kind::Inputs);
        EXPECT_EQ(Decode(rx, 20, Protocol::ModbusRtu).channels, Channels{});
        EXPECT_EQ(Decode(rx, 30, Protocol::ModbusRtu).channels, Channels{});
    }
}

TEST(RtuCounterReply, CounterKIsFourBytesHighWordFirstAfterTheByteCount) {
    const std::string payload = "010340" + CounterData();
    const auto m = Decode(HexToBytes(payload + CrcOfHex(payload)), 10, Protocol::ModbusRtu);
    EXPECT_EQ(m.kind, Kind::Counters);
    EXPECT_EQ(m.counters,
              (Counters{1, 65536, 4294967295.0, 2147483648.0, 300, 0, 305419896, 1000}));
}

TEST(RtuCounterReply, AReplyCutShortByTheDeadlineKeepsTheCountersItHolds) {
    // Ten data bytes arrived: counters 1 and 2 are whole, counter 3 is not.
    const auto m = Decode(HexToBytes("010340"
                                     "00000007"
                                     "00000009"
                                     "0000"),
                          10, Protocol::ModbusRtu);
    EXPECT_EQ(m.counters, (Counters{7, 9}));
}

TEST(RtuCounterReply, TheByteCountKeepsTheCrcOutOfTheCounters) {
    const std::string payload =
        "010306"
        "00000001"
        "0000";
    const auto m = Decode(HexToBytes(payload + CrcOfHex(payload)), 10, Protocol::ModbusRtu);
    EXPECT_EQ(m.counters, (Counters{1}));
}

TEST(RtuCounterReply, NoAnswerChangesNoCounter) {
    EXPECT_EQ(Decode("", 10, Protocol::ModbusRtu).kind, Kind::Counters);
    EXPECT_EQ(Decode("", 10, Protocol::ModbusRtu).counters, Counters{});
}

TEST(RtuCommandReply, EchoOfTheFirstSixBytesAcknowledgesAWrite) {
    const std::string toggle = *BuildFrame(Protocol::ModbusRtu, "01", ToggleOutputRequest(8, 1));
    const std::string allOff = *BuildFrame(Protocol::ModbusRtu, "01", AllOutputsRequest(false));
    const std::string read = *BuildFrame(Protocol::ModbusRtu, "01", ReadCountersRequest());
    struct Case {
        std::string rx;
        std::string pending;
        Kind kind;
    };
    const std::vector<Case> cases = {
        {toggle, toggle, Kind::OutputAck},
        {toggle.substr(0, 6), toggle, Kind::OutputAck},
        {HexToBytes("010F00000008"
                    "5408"),
         allOff, Kind::OutputAck},
        {toggle.substr(0, 5), toggle, Kind::Nothing},
        {HexToBytes("010500070001"), toggle, Kind::Nothing},
        {read, read, Kind::Nothing},
        {"", "", Kind::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.rx, 3, Protocol::ModbusRtu, c.pending).kind, c.kind) << BytesToHex(c.rx);
}

TEST(ModbusCommandReply, NeverGivesEnableStatusOrCounterAcknowledgements) {
    for (const auto p : {Protocol::ModbusAscii, Protocol::ModbusRtu}) {
        EXPECT_EQ(Decode("RTC>A5\r", 4, p).kind, Kind::Nothing);
        EXPECT_EQ(Decode("CCT>OK\r", 1, p).kind, Kind::Nothing);
        EXPECT_EQ(Decode("RTC>OK\r", 2, p).kind, Kind::Nothing);
    }
}

// ---- Poll steps ----

TEST(PollStep, OnlyTheThreeReadsOfTheCycleAskForAnything) {
    for (const auto p : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        for (const int step : {0, 40, 110, 120, 1000, 1030, -10, -20})
            EXPECT_EQ(Decode(">10000001\r", step, p).kind, Kind::Nothing) << step;
}

TEST(ModbusCounterValue, IsAbsentOutsideTheEightChannelsOrWithoutFourBytes) {
    const std::string data = ByteString({0, 1, 0, 0, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(ModbusCounterValue(data, 1), 65536.0);
    EXPECT_EQ(ModbusCounterValue(data, 2), kNoValue);
    EXPECT_EQ(ModbusCounterValue(data, 0), kNoValue);
    EXPECT_EQ(ModbusCounterValue(data, 9), kNoValue);
    EXPECT_EQ(ModbusCounterValue(data, -1), kNoValue);
}

}  // namespace
}  // namespace tally
