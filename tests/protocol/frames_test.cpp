#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tally {
namespace {

const std::string kCr = "\r";
const std::string kCrLf = "\r\n";

// A frame of every protocol for one request; RTU bytes are written as hex here.
struct FrameCase {
    const char* name;
    Request request;
    std::string own;
    std::string ascii;
    std::string rtuHex;
};

std::string Rtu(const Request& request) {
    const auto frame = BuildFrame(Protocol::ModbusRtu, "01", request);
    return frame ? BytesToHex(*frame) : "<none>";
}

void ExpectFrames(const std::vector<FrameCase>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(BuildFrame(Protocol::Own, "01", c.request), c.own) << c.name;
        EXPECT_EQ(BuildFrame(Protocol::ModbusAscii, "01", c.request), c.ascii) << c.name;
        EXPECT_EQ(Rtu(c.request), c.rtuHex) << c.name;
    }
}

TEST(StationHexOf, GivesTwoUpperCaseDigitsAndClampsToTheLine) {
    EXPECT_EQ(StationHexOf(1), "01");
    EXPECT_EQ(StationHexOf(31), "1F");
    EXPECT_EQ(StationHexOf(0), "00");
    EXPECT_EQ(StationHexOf(-1), "00");
    EXPECT_EQ(StationHexOf(std::numeric_limits<int>::min()), "00");
    EXPECT_EQ(StationHexOf(32), "1F");
    EXPECT_EQ(StationHexOf(std::numeric_limits<int>::max()), "1F");
}

TEST(Envelopes, WrapCommandsAndPayloadsOfEachProtocol) {
    EXPECT_EQ(OwnFrame("1F", "RCT"), "#1FRCT" + kCr);
    EXPECT_EQ(ModbusAsciiFrame("010300000020"), ":010300000020DC" + kCrLf);
    EXPECT_EQ(BytesToHex(ModbusRtuFrame("010300000020")), "0103000000204412");
}

// RTU vectors captured with mbpoll -m rtu -a 1 -0 against a pseudo-terminal.
TEST(ReadFrames, StationOneInEveryProtocol) {
    ExpectFrames({
        {"counters", ReadCountersRequest(), "#01RCT" + kCr, ":010300000020DC" + kCrLf,
         "0103000000204412"},
        {"inputs", ReadInputsRequest(), "#01RDI" + kCr, ":010200080008ED" + kCrLf,
         "010200080008F80E"},
        {"outputs", ReadOutputsRequest(), "#01RDO" + kCr, ":010100000008F6" + kCrLf,
         "0101000000083DCC"},
    });
}

TEST(ReadFrames, StationThirtyOneCarriesTwoUpperCaseDigits) {
    EXPECT_EQ(BuildFrame(Protocol::Own, StationHexOf(31), ReadCountersRequest()), "#1FRCT" + kCr);
}

TEST(ReadFrames, ModbusCounterReadHasTheLengthsOfItsEnvelope) {
    EXPECT_EQ(BuildFrame(Protocol::ModbusAscii, "01", ReadCountersRequest())->size(), 17u);
    EXPECT_EQ(BuildFrame(Protocol::ModbusRtu, "01", ReadCountersRequest())->size(), 8u);
}

// RTU vectors captured with mbpoll -m rtu -a 1 -t 0 -0 (write single/multiple coils).
TEST(OutputFrames, ToggleAndAllInEveryProtocol) {
    ExpectFrames({
        {"output 1 off to on", ToggleOutputRequest(1, 0), "#01WDO1,1" + kCr,
         ":01050000FF00FB" + kCrLf, "01050000FF008C3A"},
        {"output 8 on to off", ToggleOutputRequest(8, 1), "#01WDO8,0" + kCr,
         ":010500070000F3" + kCrLf, "0105000700007C0B"},
        {"all on", AllOutputsRequest(true), "#01WDO12345678,11111111" + kCr,
         ":010F0000000801FFE8" + kCrLf, "010F0000000801FFBED5"},
        {"all off", AllOutputsRequest(false), "#01WDO12345678,00000000" + kCr,
         ":010F000000080100E7" + kCrLf, "010F000000080100FE95"},
    });
}

TEST(OutputFrames, ToggleOfAnOutputThatIsOnSwitchesItOff) {
    const Request r = ToggleOutputRequest(3, 1);
    EXPECT_EQ(r.ownCommand, "WDO3,0");
    EXPECT_EQ(r.modbusBody, "0500020000");
}

TEST(OutputFrames, AnyNonZeroStateCountsAsOn) {
    EXPECT_EQ(ToggleOutputRequest(2, 7).ownCommand, "WDO2,0");
    EXPECT_EQ(ToggleOutputRequest(2, -1).modbusBody, "0500010000");
}

TEST(OutputFrames, AnOutputOutsideOneToEightHasNoFrame) {
    for (const int n : {0, 9, -1, 10, std::numeric_limits<int>::min()})
        for (const auto p : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
            EXPECT_FALSE(BuildFrame(p, "01", ToggleOutputRequest(n, 0))) << n;
}

TEST(CounterFrames, ClearOneOrAllCounters) {
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", ClearCounterRequest(3)), "#01CCT3" + kCr);
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", ClearCounterRequest(0)), "#01CCT" + kCr);
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", ClearCounterRequest(-5)), "#01CCT" + kCr);
    EXPECT_FALSE(BuildFrame(Protocol::Own, "01", ClearCounterRequest(9)));
}

TEST(CounterFrames, PresetCarriesTheLrcOfItsDataAlone) {
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", PresetCounterRequest(3, 1000)),
              "#01WRTC1204000003E8FF" + kCr);
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", PresetCounterRequest(0, 0)),
              "#01WRTC0A20" + std::string(64, '0') + "D6" + kCr);
    EXPECT_EQ(PresetCounterRequest(8, 4294967295.0).ownCommand,
              "WRTC2604FFFFFFFF" + std::string("DA"));
    EXPECT_EQ(PresetCounterRequest(1, 0).ownCommand.substr(4, 4), "0A04");
}

TEST(CounterFrames, PresetValueIsPulledIntoEightHexDigits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(PresetValueHex(0), "00000000");
    EXPECT_EQ(PresetValueHex(1000), "000003E8");
    EXPECT_EQ(PresetValueHex(1000.7), "000003E8");
    EXPECT_EQ(PresetValueHex(4294967295.0), "FFFFFFFF");
    EXPECT_EQ(PresetValueHex(4294967296.0), "FFFFFFFF");
    EXPECT_EQ(PresetValueHex(1e300), "FFFFFFFF");
    EXPECT_EQ(PresetValueHex(inf), "FFFFFFFF");
    EXPECT_EQ(PresetValueHex(-1), "00000000");
    EXPECT_EQ(PresetValueHex(-inf), "00000000");
    EXPECT_EQ(PresetValueHex(nan), "00000000");
}

TEST(CounterFrames, ClearAndPresetHaveNoModbusForm) {
    for (const auto p : {Protocol::ModbusAscii, Protocol::ModbusRtu}) {
        EXPECT_FALSE(BuildFrame(p, "01", ClearCounterRequest(3)));
        EXPECT_FALSE(BuildFrame(p, "01", ClearCounterRequest(0)));
        EXPECT_FALSE(BuildFrame(p, "01", PresetCounterRequest(3, 1000)));
        EXPECT_FALSE(BuildFrame(p, "01", PresetCounterRequest(0, 0)));
    }
}

TEST(EnableFrames, ReadAndWriteTheFlagByteAtAddressEight) {
    EXPECT_EQ(BuildFrame(Protocol::Own, "01", ReadEnableRequest()), "#01RRTC0801" + kCr);
    const std::vector<std::pair<std::string, std::string>> writes = {
        {"05", "#01WRTC080105F2"},
        {"07", "#01WRTC080107F0"},
        {"FF", "#01WRTC0801FFF8"},
        {"00", "#01WRTC080100F7"},
    };
    for (const auto& [flags, frame] : writes)
        EXPECT_EQ(BuildFrame(Protocol::Own, "01", WriteEnableRequest(flags)), frame + kCr) << flags;
}

TEST(EnableFrames, FlagDigitsAreNormalisedToOneUpperCaseByte) {
    EXPECT_EQ(WriteEnableRequest("ff").ownCommand, "WRTC0801FFF8");
    // The three digits BitsToHex gives for a HexToBits array.
    EXPECT_EQ(WriteEnableRequest("0A5").ownCommand, WriteEnableRequest("A5").ownCommand);
    EXPECT_EQ(WriteEnableRequest("5").ownCommand, "WRTC080105F2");
    EXPECT_EQ(WriteEnableRequest("").ownCommand, "WRTC080100F7");
    EXPECT_EQ(WriteEnableRequest("\xFF\r").ownCommand, "WRTC080100F7");
}

TEST(EnableFrames, HaveNoModbusForm) {
    for (const auto p : {Protocol::ModbusAscii, Protocol::ModbusRtu}) {
        EXPECT_FALSE(BuildFrame(p, "01", ReadEnableRequest()));
        EXPECT_FALSE(BuildFrame(p, "01", WriteEnableRequest("FF")));
    }
}

TEST(BuildFrame, AnUnknownProtocolBuildsNothing) {
    EXPECT_FALSE(BuildFrame(static_cast<Protocol>(7), "01", ReadCountersRequest()));
}

}  // namespace
}  // namespace tally
