// When a reply is complete, how long it may take, and whether it is believed.
#include <gtest/gtest.h>

#include <string>

#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/reply_check.h"

namespace tally {
namespace {

using namespace std::string_literals;

const Outcome kOk = Outcome::Ok();
const Outcome kBad = Outcome::Of(OutcomeKind::BadReply);
const Outcome kChecksum = Outcome::Of(OutcomeKind::ChecksumError);

std::string Frame(Protocol protocol, const Request& request) {
    return BuildFrame(protocol, "01", request).value_or("");
}

// A reply payload (hex from the station on) in the envelope of the protocol, its
// LRC or CRC right: the envelope of a reply is that of a request.
std::string Reply(Protocol protocol, const std::string& payload) {
    return protocol == Protocol::ModbusAscii ? ModbusAsciiFrame(payload) : ModbusRtuFrame(payload);
}

TEST(ReplyIsComplete, TextRepliesNeedTheirTerminatorAndRtuRepliesTheirWholeLength) {
    const std::string ownRead = Frame(Protocol::Own, ReadCountersRequest());
    for (const std::string rx : {">00000001\r", "\r"})
        EXPECT_TRUE(ReplyIsComplete(Protocol::Own, ownRead, rx)) << rx;
    for (const std::string rx : {"DO>OK\r\n", "DO>OK", ""})
        EXPECT_FALSE(ReplyIsComplete(Protocol::Own, ownRead, rx)) << rx;
    const std::string asciiRead = Frame(Protocol::ModbusAscii, ReadInputsRequest());
    for (const std::string rx : {":01020105F7\r\n", "\r\n"})
        EXPECT_TRUE(ReplyIsComplete(Protocol::ModbusAscii, asciiRead, rx)) << rx;
    for (const std::string rx : {":01020105F7\r", "\n", ":01020105F7\n\r", ""})
        EXPECT_FALSE(ReplyIsComplete(Protocol::ModbusAscii, asciiRead, rx)) << rx;

    const std::string counters = Frame(Protocol::ModbusRtu, ReadCountersRequest());
    const std::string inputs = Frame(Protocol::ModbusRtu, ReadInputsRequest());
    const std::string write = Frame(Protocol::ModbusRtu, ToggleOutputRequest(1, 0));
    const struct {
        const std::string& request;
        std::string rx;
        std::size_t length;  // 0: cannot tell yet
    } rows[] = {
        {inputs, "\x01\x02"s, 0},
        {inputs, "\x01\x02\x01"s, 6},
        {counters, "\x01\x03\x40"s, 69},
        {counters, "\x01\x03\x02"s, 7},   // a short count ends the frame early
        {counters, "\x01\x03\xFF"s, 69},  // a garbled large count: the length asked for
        {counters, "\x01\x83"s, 5},       // exception
        {write, "\x01"s, 8},              // the echo
        {write, "\x01\x85"s, 5},
        {"\x01\x07\x00\x00\x00\x01\x00\x00"s, "\x01\x07\x01"s, 0},  // not a request we send
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        EXPECT_EQ(RtuReplyLength(row.request, row.rx).value_or(0), row.length);
        if (row.length == 0) continue;
        std::string rx = row.rx;
        rx.resize(row.length - 1, '\0');
        EXPECT_FALSE(ReplyIsComplete(Protocol::ModbusRtu, row.request, rx));
        rx.push_back('\0');
        EXPECT_TRUE(ReplyIsComplete(Protocol::ModbusRtu, row.request, rx));
    }
}

TEST(ReplyTimeout, IsTheAllowancePlusRequestAndLongestReplyOnTheWireAtTenBitsACharacter) {
    const struct {
        Protocol protocol;
        Request request;
        int baud;
        std::int64_t micros;
    } rows[] = {
        // "#01RCT" CR (7) and ">" eight fields of eight digits with commas, CR (73).
        {Protocol::Own, ReadCountersRequest(), 2400, 300'000 + 80 * 10'000'000 / 2400},
        {Protocol::Own, ReadInputsRequest(), 19200, 300'000 + (7 + 18) * 10'000'000 / 19200},
        {Protocol::Own, ClearCounterRequest(3), 1200, 300'000 + (8 + 7) * 10'000'000 / 1200},
        // 17 characters out; ":", 67 bytes as hex, LRC, CR LF back.
        {Protocol::ModbusAscii, ReadCountersRequest(), 4800, 300'000 + 156 * 10'000'000 / 4800},
        {Protocol::ModbusRtu, ReadCountersRequest(), 19200, 300'000 + 77 * 10'000'000 / 19200},
        {Protocol::ModbusRtu, AllOutputsRequest(true), 57600, 300'000 + 18 * 10'000'000 / 57600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        EXPECT_EQ(ReplyTimeoutMicros(row.protocol, Frame(row.protocol, row.request), row.baud),
                  row.micros);
    }
}

TEST(CheckReply, ModbusRepliesMustMatchStationFunctionCountAndChecksum) {
    const Request inputs = ReadInputsRequest();
    const Request counters = ReadCountersRequest();
    const Request toggle = ToggleOutputRequest(1, 0);  // write coil 0 on: 05 0000 FF00
    const std::string zeros(128, '0');
    const struct {
        const char* name;
        const Request& request;
        std::string payload;  // framed with its right checksum
        Outcome outcome;
    } rows[] = {
        {"inputs", inputs, "01020105", kOk},
        {"counters", counters, "010340" + zeros, kOk},
        {"echo", toggle, "01050000FF00", kOk},
        {"wrong station", inputs, "02020105", kBad},
        {"wrong function", inputs, "01010105", kBad},
        {"short byte count", counters, "01033E" + zeros.substr(4), kBad},
        {"count not what the data holds", inputs, "0102020500", kBad},
        {"echo of another value", toggle, "010500000000", kBad},
        {"exception", inputs, "018202", Outcome::ExceptionCode(2)},
        {"write refused", toggle, "018504", Outcome::ExceptionCode(4)},
        {"exception with data", inputs, "01820200", kBad},
    };
    for (const Protocol protocol : {Protocol::ModbusAscii, Protocol::ModbusRtu}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (protocol == Protocol::ModbusRtu ? " RTU" : ""));
            const std::string request = Frame(protocol, row.request);
            const std::string rx = Reply(protocol, row.payload);
            EXPECT_EQ(CheckReply(protocol, request, rx), row.outcome);
            if (row.outcome == kBad) continue;
            std::string corrupt = rx;  // last data digit (ASCII) or the CRC's high byte (RTU)
            corrupt[corrupt.size() - (protocol == Protocol::ModbusRtu ? 1 : 5)] ^= 0x01;
            EXPECT_EQ(CheckReply(protocol, request, corrupt), kChecksum);
            if (protocol == Protocol::ModbusRtu) {
                EXPECT_EQ(CheckReply(protocol, request, rx + '\0'), kBad) << "trailing byte";
            }
        }
    }
    // Replies as a module sends them (the exception frames and an outputs reply).
    const std::string rtuInputs = Frame(Protocol::ModbusRtu, inputs);
    EXPECT_EQ(CheckReply(Protocol::ModbusRtu, rtuInputs, "\x01\x82\x02\xC1\x61"s),
              Outcome::ExceptionCode(2));
    EXPECT_EQ(CheckReply(Protocol::ModbusRtu, Frame(Protocol::ModbusRtu, toggle),
                         "\x01\x85\x02\xC3\x51"s),
              Outcome::ExceptionCode(2));
    EXPECT_EQ(CheckReply(Protocol::ModbusRtu, Frame(Protocol::ModbusRtu, ReadOutputsRequest()),
                         "\x01\x01\x01\x81\x91\xE8"s),
              kOk);
    // ASCII: ":", upper-case hex, CR LF.
    const std::string asciiInputs = Frame(Protocol::ModbusAscii, inputs);
    for (const std::string rx : {":01020105f7\r\n", "01020105F7\r\n", ":01020105F7\n\r",
                                 ":010201G5F7\r\n", ":0102010F7\r\n", ":F7\r\n"})
        EXPECT_EQ(CheckReply(Protocol::ModbusAscii, asciiInputs, rx), kBad) << rx;
    EXPECT_EQ(CheckReply(Protocol::ModbusAscii, asciiInputs, ":01020105F7\r\n"), kOk);
}

TEST(CheckReply, OwnReadsNeedTheirLayoutAndCommandsTheirOwnAcknowledgement) {
    const std::string eight = "00000010,0000000A,0,0,0,0,0,FFFFFFFF";
    const struct {
        Request request;
        std::string rx;
        Outcome outcome;
    } rows[] = {
        {ReadCountersRequest(), ">" + eight + "\r", kOk},
        {ReadCountersRequest(), "RCT>" + eight + ">tail\r", kOk},  // text around the body
        {ReadCountersRequest(), ">00000G00,,0,0,0,0,0,0\r", kOk},  // the decoder skips fields
        {ReadCountersRequest(), ">00000010,0000000A\r", kBad},
        {ReadCountersRequest(), ">" + eight + ",0\r", kBad},
        {ReadCountersRequest(), eight + "\r", kBad},
        {ReadCountersRequest(), ">" + eight, kBad},
        {ReadInputsRequest(), ">0000000010000001\r", kOk},
        {ReadInputsRequest(), ">000000001000000111\r", kOk},
        {ReadInputsRequest(), ">000000001000000\r", kBad},
        {ReadInputsRequest(), ">00000000100000x1\r", kBad},
        {ReadOutputsRequest(), ">11000001\r", kOk},
        {ReadOutputsRequest(), ">1100000\r", kBad},
        {ToggleOutputRequest(3, 0), "DO>OK\r", kOk},
        {ToggleOutputRequest(3, 0), "do>ok\r", kBad},
        {ToggleOutputRequest(3, 0), "CCT>OK\r", kBad},  // another command's acknowledgement
        {ClearCounterRequest(0), "CCT>OK\r", kOk},
        {ClearCounterRequest(2), "RTC>OK\r", kBad},
        {PresetCounterRequest(1, 5), "RTC>OK\r", kOk},
        {WriteEnableRequest("FF"), "RTC>OK\r", kOk},
        {WriteEnableRequest("FF"), "RTC>OK\r\n", kBad},
        {ReadEnableRequest(), "RTC>a5\r", kOk},
        {ReadEnableRequest(), "RTC>OK\r", kBad},
        {ReadEnableRequest(), "RTC>A5 \r", kBad},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckReply(Protocol::Own, Frame(Protocol::Own, row.request), row.rx), row.outcome)
            << row.rx;
}

}  // namespace
}  // namespace tally
