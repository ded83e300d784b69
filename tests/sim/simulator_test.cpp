#include <gtest/gtest.h>

#include "protocol/checksum.h"
#include "protocol/hex.h"
#include "serial/user_config_folder.h"
#include "sim/link_folder.h"
#include "sim/modbus_slave.h"
#include "sim/own_protocol.h"
#include "sim/request_framer.h"
#include "sim/sim_options.h"
#include "sim/simulator_core.h"

namespace tally::sim {
namespace {

using Kind = RequestOutcome::Kind;
// Frames around a payload in hex: RTU with its CRC, ASCII with its LRC.
const auto R = [](const std::string& hex) { return HexToBytes(hex + CrcOfHex(hex)); };
constexpr Kind kAnswer = Kind::Answer, kInvalid = Kind::Invalid, kBadSum = Kind::BadChecksum;

struct Row {
    std::string request;
    Kind kind;
    std::string reply = "";
    int outputs = -1;  // the outputs afterwards, when not -1
    bool exception = false;
};

// Sends rows in order to one module; a refused request (exceptions too) changes nothing.
template <typename Send>
void Play(ModuleState& module, Send send, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.request));
        const std::string before = module.toJson();
        const RequestOutcome outcome = send(row.request);
        EXPECT_EQ(outcome.kind, row.kind);
        EXPECT_EQ(outcome.reply, row.reply);
        EXPECT_EQ(outcome.exception, row.exception);
        const bool acts = row.kind == Kind::Broadcast || (row.kind == kAnswer && !row.exception);
        EXPECT_TRUE(acts || module.toJson() == before) << module.toJson();
        EXPECT_TRUE(row.outputs < 0 || module.outputs() == row.outputs) << int{module.outputs()};
    }
}

TEST(ModuleStateTest, EnabledCountersCountRisingEdgesAndWrapAtTwoToTheThirtyTwo) {
    ModuleState module(0);
    module.setEnableFlags(0xFE);  // counter 1 disabled
    module.setCounter(5, 0xFFFFFFFFU);
    for (const std::uint8_t levels : {0x13, 0x13, 0x00, 0x03})  // rise, stay, fall, rise
        module.applyInputs(levels);
    EXPECT_TRUE(module.input(1));  // the input itself is still seen
    EXPECT_EQ(std::vector<std::uint32_t>(
                  {module.counter(1), module.counter(2), module.counter(3), module.counter(5)}),
              std::vector<std::uint32_t>({0, 2, 0, 0}));
}

TEST(OwnProtocolTest, CommandsReadAndWriteTheModuleAndMalformedOnesChangeNothing) {
    ModuleState module(0);
    module.applyInputs(0x81);  // inputs 1 and 8
    for (const auto& [k, value] : {std::pair{1, 0x10U}, {2, 0x0AU}, {3, 0x300U}, {8, 0xFFFFFFFFU}})
        module.setCounter(k, value);
    const auto own = [&](const std::string& command) {
        return AnswerOwnRequest(module, 1, "#01" + command + "\r");
    };
    const std::string zeros(64, '0');
    Play(module, own,
         {
             {"RCT", kAnswer,
              ">00000010,0000000A,00000300,00000000,00000000,00000000,00000000,FFFFFFFF\r"},
             {"WDO12345678,01000001", kAnswer, "DO>OK\r", 0x82},
             {"RDI", kAnswer, ">0100000110000001\r"},  // outputs first, then the inputs
             {"RDO", kAnswer, ">01000001\r"},
             {"CCT2", kAnswer, "CCT>OK\r"},
             {"RRTC0A08", kAnswer, "RTC>0000001000000000\r"},  // counter k at 4k+6, big-endian
             {"WRTC080100F8", kBadSum},                        // F7 would be right
             {"WRTC0A20" + zeros + "D6", kAnswer, "RTC>OK\r"},
             {"WRTCFE0455555555AA", kInvalid},  // runs past the memory
         });
    module.setOutputs(0x81);
    for (const char* bad : {"WDO3", "WDO9,1", "WDO0,1", "WDO3,2", "WDO1,11", "CCT9", "RRTC0800",
                            "RRTCFF02", "WRTC0802FFF7", "rct", "WDO123456789,111111111"})
        Play(module, own, {{bad, kInvalid}});
    // Only well-formed frames for its own station, or to every station, are answered.
    EXPECT_EQ(AnswerOwnRequest(module, 31, "#1FRCT\r").kind, kAnswer);
    EXPECT_EQ(AnswerOwnRequest(module, 0, "#00WDO1,1\r").kind, kAnswer);
    for (const char* frame : {"#01\r", "#0", "#ZZRCT\r", "#01RCT", "01RCT\r"})
        EXPECT_EQ(AnswerOwnRequest(module, 1, frame).kind, kInvalid) << frame;
}

TEST(ModbusSlaveTest, FunctionsServeTheModuleAndRefuseWhatTheyCannotDo) {
    const auto A = [](const std::string& hex) { return ":" + hex + LrcOfHex(hex) + "\r\n"; };
    const auto Ex = [](const char* hex, const char* reply) {
        return Row{R(hex), kAnswer, R(reply), -1, true};
    };
    const auto W = HexToBytes;
    ModuleState module(0);
    module.applyInputs(0x05);  // counter 3 counts its edge
    module.setOutputs(0x81);
    for (const auto& [k, value] : {std::pair{1, 0x00010002U}, {2, 0x12345678U}, {8, 0xFFFFFFFFU}})
        module.setCounter(k, value);
    const auto modbus = [&](const std::string& frame) {
        return !frame.empty() && frame[0] == ':' ? AnswerModbusAscii(module, 1, frame)
                                                 : AnswerModbusRtu(module, 1, frame);
    };
    Play(module, modbus,
         {
             {R("010200000010"), kAnswer, R("0102028105")},  // 0-7 read the outputs back
             {R("010300030001"), kAnswer, R("0103025678")},  // counter 2's low word
             {W("0105000700007C0B"), kAnswer, W("0105000700007C0B"), 0x01},
             {W("01050000FF008C3B"), kBadSum},
             {":01050000FF00FC\r\n", kBadSum},
             {W("01050000FF008C3A"), kAnswer, W("01050000FF008C3A"), 0x01},
             {":010F0000000801FFE8\r\n", kAnswer, ":010F00000008E8\r\n", 0xFF},
             {R("010F000200030105"), kAnswer, R("010F00020003"), 0xF7},  // coils 2-4: 1, 0, 1
             Ex("010600000001", "018601"),        // write single register: not supported
             Ex("010100000009", "018102"),        // there is no coil 8
             Ex("01030000007E", "018303"),        // more than 125 registers
             Ex("010F0000000802FF00", "018F03"),  // byte count does not match the quantity
             {R("02050000FF00"), Kind::OtherStation},
             {R("00050003FF00"), Kind::Broadcast, "", 0xFF},  // done, never answered
             {A("000100000008"), Kind::Broadcast},
         });
    for (const std::string& bad : std::vector<std::string>{
             ":", ":01\r\n", ":0101000000F\r\n", ":01010000000GF6\r\n", ":010100000008F6\r",
             std::string("\x01\x01\x02", 3), std::string()})
        Play(module, modbus, {{bad, kInvalid}});
}

TEST(RequestFramerTest, FirstByteChoosesTheProtocolAndEndCharactersOrSilenceCloseTheFrame) {
    // Bytes received at a time (or only time passing); the frames each event gives, then ';'.
    // RTU frames end after 3.5 characters (11 bits) of silence up to 19200 baud, 1.75 ms above.
    using Events = std::vector<std::pair<std::int64_t, std::string>>;
    const std::tuple<int, Events, std::string> rows[] = {
        {9600,
         {{0, "#01W"}, {5'000, "DO1,"}, {10'000, "1\r:0103\r\n"}},
         ";;own #01WDO1,1\r 0-10000|ascii :0103\r\n 10000-10000|;"},
        {9600,
         {{0, "\x01"}, {1'000, "\x03"}, {5'009, ""}, {5'010, ""}},
         ";;;rtu \x01\x03 0-1000|;"},
        {19200,
         {{0, "\x01"}, {2'004, ""}, {2'005, "#01RDO\r"}},
         ";;rtu \x01 0-0|own #01RDO\r 2005-2005|;"},
        {38400, {{0, "\x01"}, {1'749, ""}, {1'750, ""}}, ";;rtu \x01 0-0|;"},
        {9600, {{0, "#01RC#01RDI\r"}}, "junk|own #01RDI\r 0-0|;"},  // a new start abandons a frame
        {9600, {{0, ":0103"}, {999'999, ""}, {1'000'000, ""}}, ";;junk|;"},
        {9600, {{0, std::string(1000, '\x01')}, {1'000'000, ""}}, ";junk|;"},
    };
    for (const auto& [baud, events, frames] : rows) {
        RequestFramer framer;
        framer.setBaud(baud);
        std::string shown;
        for (const auto& [atUs, bytes] : events) {
            for (const ReceivedFrame& f : framer.feed(atUs, bytes))  // no bytes: time passes
                shown += f.kind == ReceivedFrame::Kind::Junk
                             ? "junk|"
                             : FrameKindName(f.kind) + (" " + f.bytes) + " " +
                                   std::to_string(f.startUs) + "-" + std::to_string(f.endUs) + "|";
            shown += ";";
        }
        EXPECT_EQ(shown, frames);
    }
}

struct Send {
    std::int64_t atUs;
    std::string bytes;
    int baud = 9600;
};

// A core on a fake clock honouring every wake-up: the master's requests, then time to untilUs.
struct Line {
    Line(const SimOptions& options, const std::vector<Send>& sends, std::int64_t untilUs)
        : core(options) {
        for (const Send& s : sends)
            send(s.atUs, s.bytes, s.baud);
        runUntil(untilUs);
    }
    void send(std::int64_t atUs, const std::string& bytes, int baud = 9600) {
        runUntil(atUs);
        core.receive(atUs, bytes, baud);
        collect(atUs);
    }
    void runUntil(std::int64_t untilUs) {
        for (auto wake = core.nextWakeUs(); wake && *wake <= untilUs; wake = core.nextWakeUs())
            collect(*wake);
    }
    void collect(std::int64_t atUs) {
        const std::string out = core.advance(atUs);
        if (!out.empty()) chunks.push_back({atUs, out});
        received += out;
    }

    SimulatorCore core;
    std::vector<std::pair<std::int64_t, std::string>> chunks;  // bytes written, with their time
    std::string received;
};

// Seed 0: inputs that never move and counters at 0.
SimOptions Still(void (*change)(SimOptions&) = nullptr) {
    SimOptions options;
    options.seed = 0;
    if (change) change(options);
    return options;
}

const std::string kCounters =
    ">00000000,00000000,00000000,00000000,00000000,00000000,00000000,00000000\r";

TEST(SimulatorCoreTest, AnswerIsPacedAtTenBitsAByteAfterTheRequestWasOnTheLinePlusTheDelay) {
    // The pseudo-terminal delivers the request at once; the module hears its end only
    // after the request's own time on the line (7 bytes: 7.29 ms at 9600 baud). Then
    // each byte of the answer takes 1.04 ms (the counters' 73 bytes 76 ms).
    const std::tuple<int, int, std::string, std::string, std::int64_t, std::int64_t> rows[] = {
        {0, 9600, "#01RCT\r", kCounters, 8'332, 83'332},
        {250, 9600, "#01RDO\r", ">00000000\r", 258'332, 267'707}};
    for (const auto& [delayMs, baud, request, answer, firstUs, lastUs] : rows) {
        SimOptions options = Still();
        options.delayMs = delayMs;
        const Line line(options, {{0, request, baud}}, 10'000'000);
        EXPECT_EQ(line.received, answer);
        EXPECT_EQ(line.chunks.front().first, firstUs) << baud;
        EXPECT_EQ(line.chunks.back().first, lastUs) << baud;
    }
    // --chunk: what the line has carried is handed over at each tick of the grid.
    const Line usb(Still([](SimOptions& o) { o.chunkMs = 4; }), {{0, "#01RDO\r", 19200}}, 100'000);
    EXPECT_EQ(usb.chunks, (decltype(usb.chunks){{8000, ">0000000"}, {12000, "0\r"}}));
    // Modbus RTU: the module knows the request has ended only after 3.5 characters'
    // silence: 4.17 ms for 8 bytes at 19200 baud, 2 ms of silence, 0.52 ms a byte.
    const std::string request = "010100000008";
    const Line rtu(Still(), {{0, HexToBytes(request + CrcOfHex(request)), 19200}}, 100'000);
    EXPECT_EQ(rtu.chunks.front().first, 6'691);
}

TEST(SimulatorCoreTest, OverlapIsARequestWhileTheAnswerGoesOutUnlessItBeganAfterTheDeadline) {
    // At 9600 baud the request is on the line for 7.3 ms, the counters' answer 76 ms.
    const std::tuple<SimOptions, std::int64_t, unsigned, std::int64_t> rows[] = {
        {Still(), 40'000, 1, 93'748},   // the answer goes out until 83 ms: the master did not wait
        {Still(), 90'000, 0, 107'707},  // after the answer
        {Still([](SimOptions& o) { o.delayMs = 500; }), 310'000, 0, 827'707},  // it timed out
        // Past the deadline, but over an answer coming since 257 ms: heard and ignored.
        {Still([](SimOptions& o) { o.delayMs = 250; }), 310'000, 1, 577'707},
    };
    for (const auto& [options, secondUs, overlaps, lastUs] : rows) {
        const Line line(options, {{0, "#01RCT\r"}, {secondUs, "#01RDO\r"}}, 2'000'000);
        EXPECT_EQ(line.core.stats().overlaps, overlaps) << secondUs;
        EXPECT_EQ(line.received, kCounters + ">00000000\r");
        EXPECT_EQ(line.chunks.back().first, lastUs);  // half duplex: the second follows whole
    }
}

// Another line speed is Find Module's live run, which finds the module only at its own.
TEST(SimulatorCoreTest, EachFaultOptionDoesItsHarmAndCountsIt) {
    // Exceptions on demand do nothing; another station's address keeps the checksum right,
    // and own-protocol answers, which carry no station, stay as they are.
    const Line refused(Still([](SimOptions& o) {
                           o.exceptions = {{2, 2}, {5, 4}};
                           o.wrongStationProbability = 1.0;
                       }),
                       {{0, HexToBytes("010200080008F80E")},
                        {100'000, ":010500000000FA\r\n"},
                        {200'000, "#01RDO\r"}},
                       1'000'000);
    EXPECT_EQ(refused.received, HexToBytes("028202" + CrcOfHex("028202")) + ":028504" +
                                    LrcOfHex("028504") + "\r\n>00000000\r");
    EXPECT_EQ(refused.core.stats().exceptions + refused.core.stats().wrongStation, 4U);
}

TEST(SimulatorCoreTest, StationsOnOneLineAnswerEachForItselfAndStayApart) {
    SimOptions options = Still([](SimOptions& o) { o.stations = {5, 1, 2}; });
    // One request every 0.1 s, well after the previous answer.
    std::vector<Send> sends;
    for (const std::string& request : std::vector<std::string>{
             "#05WRTC0E0400000010DE\r", ":01050002FF00F9\r\n", "#03RDO\r", R("00050007FF00"),
             "#01RCT\r", "#05RCT\r", R("020100000008"), ":050100000008F2\r\n", "#02RDO\r"})
        sends.push_back({static_cast<std::int64_t>(sends.size()) * 100'000, request, 19200});
    Line line(options, sends, 2'000'000);
    // Station 5's counter 2 preset, 1's output 3 on, 3 silent; output 8 on by broadcast.
    EXPECT_EQ(line.received,
              "RTC>OK\r:01050002FF00F9\r\n" + kCounters +
                  ">00000000,00000010,00000000,00000000,00000000,00000000,00000000,00000000\r" +
                  R("02010180") + ":05010180" + LrcOfHex("05010180") + "\r\n>00000001\r");
    EXPECT_EQ(line.core.stats(3), nullptr);
    const LineStats& total = line.core.stats();
    EXPECT_EQ(std::vector<std::uint64_t>({total.requests, total.answers, total.otherStation,
                                          total.broadcasts, total.overlaps}),
              std::vector<std::uint64_t>({9, 7, 1, 1, 0}));
    // Moving modules are seeded apart; faults strike every station.
    options.seed = 7;
    options.dropProbability = 1.0;
    const Line moving(options, sends, 2'000'000);
    EXPECT_EQ(moving.received, "");
    EXPECT_EQ(moving.core.stats(2)->dropped, 2U);
    const auto counters = [&](int station) {
        std::string bytes;
        moving.core.module(station)->readMemory(ModuleState::kFirstCounterAddress, 32, bytes);
        return bytes;
    };
    EXPECT_NE(counters(1), counters(2));

    // The same seed and requests give the same line, faults and all; another seed another.
    options.dropProbability = options.garbleProbability = 0.3;
    options.split = true;
    const auto trace = [&] {
        std::string text;
        for (const auto& [atUs, bytes] : Line(options, sends, 2'000'000).chunks)
            text += std::to_string(atUs) + bytes;
        return text;
    };
    const std::string first = trace();
    EXPECT_EQ(first, trace());
    options.seed = 8;
    EXPECT_NE(first, trace());
}

TEST(SimulatorCoreTest, RtuRequestSoonerThanTheSilenceAfterTheLastAnswerByteWrittenIsEarly) {
    // Gaps after the answer's last byte; the silence is 2005 us at 19200, 1750 us above.
    const std::tuple<int, std::int64_t, std::string, std::uint64_t> rows[] = {
        {19200, 2004, R("010100000008"), 1}, {19200, 2005, R("010100000008"), 0},
        {57600, 1749, R("010100000008"), 1}, {57600, 1750, R("010100000008"), 0},
        {19200, 0, "#01RDO\r", 0},  // text frames have their own start character
    };
    for (const auto& [baud, gapUs, second, early] : rows) {
        SCOPED_TRACE(std::to_string(baud) + " " + std::to_string(gapUs));
        Line line(Still(), {{0, R("010100000008"), baud}}, 1'000'000);
        line.send(line.chunks.back().first + gapUs, second, baud);
        line.runUntil(2'000'000);
        EXPECT_EQ(line.core.stats().rtuEarly, early);
        EXPECT_EQ(line.core.stats(1)->rtuEarly, early);
    }
    // A loop that wakes late writes the answer late: the master hears it only then.
    SimulatorCore late(Still());
    late.receive(0, R("010100000008"), 19200);
    EXPECT_EQ(late.advance(10'000), R("01010100"));  // due by 9.3 ms, written at 10 ms
    late.receive(11'500, R("010100000008"), 19200);  // 2.2 ms after it was due
    late.advance(20'000);
    EXPECT_EQ(late.stats().rtuEarly, 1U);
}

// Stations: numbers and inclusive ranges in the order given, each at most once.
TEST(SimOptionsTest, ValuesAreCheckedAndBadOnesRefusedByName) {
    EXPECT_EQ(ParseOptions({"--exception", "0x0F:4"}).options.exceptions,
              (std::map<int, int>{{15, 4}}));
    EXPECT_EQ(ParseOptions({"--station", "7,1-3,0,31-31"}).options.stations,
              (std::vector<int>{7, 1, 2, 3, 0, 31}));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--station", ""}, "--station : give at least one station, 0 to 31"},
        {{"--station", "1,,2"}, "--station 1,,2: an element of the list is empty"},
        {{"--station", "1-2-3"}, "--station 1-2-3: 1-2-3 is not a range of stations 0 to 31"},
        {{"--station", "1-3,5,2"}, "--station 1-3,5,2: station 2 is listed twice"},
        {{"--exception", "3:256"}, "bad value for --exception: 3:256"},
        {{"--bogus", "1"}, "unknown option --bogus"}};
    for (const auto& [args, error] : refused)
        EXPECT_EQ(ParseOptions(args).error, error);
}

TEST(LinkFolder, BesideTheExecutableWhenWritableElseWhereTallyscopeLooksNext) {
    // The folder tallyscope looks in: a relative XDG_CONFIG_HOME is invalid and ignored.
    for (const char* xdg : {"relative/cfg", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(UserConfigFolder(xdg, "/home/op"), "/home/op/.config/tallyscope");
    EXPECT_EQ(UserConfigFolder(nullptr, nullptr), "");

    EXPECT_EQ(DefaultLinkFolder("/opt/t/bin", true, "/c/tallyscope"), "/opt/t/bin");
    EXPECT_EQ(DefaultLinkFolder("/usr/bin", false, "/c/tallyscope"), "/c/tallyscope");
}

}  // namespace
}  // namespace tally::sim
