// When a reply is complete, whether it is believed and what it means. Only replies the
// check accepted reach the decoder; the sanitizer run feeds it everything else.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/reply_check.h"
#include "protocol/reply_decoder.h"

namespace tally {
namespace {

using namespace std::string_literals;
using Kind = ReplyMeaning::Kind;
using Counters = std::array<std::optional<double>, 8>;

const Outcome kOk = Outcome::Ok(), kBad = Outcome::Of(OutcomeKind::BadReply);
const Protocol kOwn = Protocol::Own, kAscii = Protocol::ModbusAscii, kRtu = Protocol::ModbusRtu;

std::string Frame(Protocol protocol, const Request& request) {
    return BuildFrame(protocol, "01", request).value_or("");
}
std::string Framed(Protocol protocol, const std::string& payload) {
    return protocol == kAscii ? ModbusAsciiFrame(payload) : ModbusRtuFrame(payload);
}
ReplyMeaning Decode(Protocol protocol, int step, const std::string& rx,
                    const std::string& pending = {}) {
    return DecodeReplyBytes(rx, step, protocol, pending);
}
// Channel states as text: "0", "1", "-" for absent.
template <typename States>
std::string Flags(const States& states) {
    std::string text;
    for (const std::optional<std::int16_t> s : states)
        text += !s ? '-' : *s == 1 ? '1' : '0';
    return text;
}

TEST(ReplyIsComplete, RtuRepliesEndAtTheLengthTheirCountGivesOrTheOneAskedFor) {
    const std::string counters = Frame(kRtu, ReadCountersRequest());
    const struct {
        const std::string& request;
        std::string rx;
        std::size_t length;  // 0: cannot tell yet
    } rows[] = {
        {counters, "\x01\x03"s, 0},
        {counters, "\x01\x03\x02"s, 7},   // a short count ends the frame early
        {counters, "\x01\x03\xFF"s, 69},  // a garbled large count: the length asked for
        {"\x01\x07\x00\x00\x00\x01\x00\x00"s, "\x01\x07\x01"s, 0},  // no request of ours
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RtuReplyLength(row.request, row.rx).value_or(0), row.length) << &row - rows;
        std::string rx = row.rx;
        rx.resize(row.length, '\0');
        EXPECT_EQ(ReplyIsComplete(kRtu, row.request, rx), row.length > 0);
        EXPECT_FALSE(ReplyIsComplete(kRtu, row.request, rx.substr(0, rx.size() - 1)));
    }
}

TEST(CheckReply, ModbusRepliesMustMatchStationFunctionCountAndChecksum) {
    const Request inputs = ReadInputsRequest(), toggle = ToggleOutputRequest(1, 0);
    const struct {
        const Request& request;
        std::string payload;  // framed with its right checksum
        Outcome outcome;
    } rows[] = {
        {inputs, "01020105", kOk},
        {toggle, "01050000FF00", kOk},
        {inputs, "02020105", kBad},      // wrong station
        {inputs, "01010105", kBad},      // wrong function
        {inputs, "010200", kBad},        // short byte count
        {inputs, "01020205", kBad},      // a count of two with one byte
        {toggle, "010500000000", kBad},  // echo of another value
        {inputs, "018202", Outcome::ExceptionCode(2)},
    };
    for (const Protocol protocol : {kAscii, kRtu}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.payload + (protocol == kRtu ? " RTU" : " ASCII"));
            const std::string request = Frame(protocol, row.request);
            const std::string rx = Framed(protocol, row.payload);
            EXPECT_EQ(CheckReply(protocol, request, rx), row.outcome);
            if (row.outcome == kBad) continue;
            std::string corrupt = rx;  // last data digit (ASCII) or the CRC's high byte (RTU)
            corrupt[corrupt.size() - (protocol == kRtu ? 1 : 5)] ^= 0x01;
            EXPECT_EQ(CheckReply(protocol, request, corrupt).kind, OutcomeKind::ChecksumError);
        }
    }
    // What a frame must not be: longer than its length, lower case, without ":", not hex.
    const std::string rtuInputs = Frame(kRtu, inputs), asciiInputs = Frame(kAscii, inputs);
    EXPECT_EQ(CheckReply(kRtu, rtuInputs, "\x01\x82\x02\xC1\x61\x00"s), kBad) << "trailing";
    for (const std::string rx : {":01020105f7\r\n", "01020105F7\r\n", ":010201G5F7\r\n", ":F7\r\n"})
        EXPECT_EQ(CheckReply(kAscii, asciiInputs, rx), kBad) << rx;
}

TEST(CheckReply, OwnReadsNeedTheirLayoutAndCommandsTheirOwnAcknowledgement) {
    const std::string eight = ">1,A,0,0,0,0,0,FFFFFFFF";
    const struct {
        Request request;
        std::string rx;
        Outcome outcome;
    } rows[] = {
        {ReadCountersRequest(), eight + "\r", kOk},
        {ReadCountersRequest(), "RCT" + eight + ">tail\r", kOk},  // text around the body
        {ReadCountersRequest(), ">G,,0,0,0,0,0,0\r", kOk},        // the decoder skips fields
        {ReadCountersRequest(), ">1,A\r", kBad},
        {ReadCountersRequest(), eight + ",0\r", kBad},
        {ReadInputsRequest(), ">00000000100000x1\r", kBad},
        {ReadOutputsRequest(), ">1100000\r", kBad},
        {ToggleOutputRequest(3, 0), "CCT>OK\r", kBad},  // another command's acknowledgement
        {ReadEnableRequest(), "RTC>a5\r", kOk},
        {ReadEnableRequest(), "RTC>OK\r", kBad},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckReply(kOwn, Frame(kOwn, row.request), row.rx), row.outcome) << row.rx;
}

// 05 (Acknowledge) stays unnamed: it is for long programming commands this module lacks.
TEST(CheckReply, AnExceptionShowsItsCodeAndNameOnTheStatusLine) {
    const std::pair<int, std::string> rows[] = {
        {0x05, "Exception 05"}, {0x06, "Exception 06 Server Device Busy"}, {0xFF, "Exception FF"}};
    for (const auto& [code, status] : rows)
        EXPECT_EQ(OutcomeText(Outcome::ExceptionCode(code), 3), status);
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
    const std::tuple<Protocol, int, std::string, std::string> cases[] = {
        // Own inputs are body characters 9-16, outputs 1-8.
        {kOwn, 20, ">0000000010000001\r", "10000001"},
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

}  // namespace
}  // namespace tally
