// Protocol names and every request frame, their checksums included.
#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/hex.h"
#include "protocol/protocol.h"

namespace tally {
namespace {

TEST(ProtocolNames, EachNameReadsBackAndNoOtherSpellingIsOne) {
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        EXPECT_EQ(ParseProtocolName(ProtocolName(protocol)), protocol);
    for (const char* other : {"", "Korvi", "RTU", "modbus", "own", "modbus-", "bus-rtu", "rtu "})
        EXPECT_EQ(ParseProtocolName(other), std::nullopt) << other;
}

std::optional<Bytes> Own(const Request& request) {
    return BuildFrame(Protocol::Own, "01", request);
}

// One request of station 1 in every protocol; RTU bytes are compared as hex.
// RTU vectors captured with mbpoll -m rtu -a 1 -0 against a pseudo-terminal.
void ExpectFrames(const char* name, const Request& request, const std::string& own,
                  const std::string& ascii, const std::string& rtuHex) {
    const auto rtu = BuildFrame(Protocol::ModbusRtu, "01", request);
    EXPECT_EQ(Own(request), own + "\r") << name;
    EXPECT_EQ(BuildFrame(Protocol::ModbusAscii, "01", request), ascii + "\r\n") << name;
    EXPECT_EQ(rtu ? BytesToHex(*rtu) : "<none>", rtuHex) << name;
}

TEST(Frames, ReadsOfThePollCycleInEveryProtocol) {
    ExpectFrames("counters", ReadCountersRequest(), "#01RCT", ":010300000020DC",
                 "0103000000204412");
    ExpectFrames("inputs", ReadInputsRequest(), "#01RDI", ":010200080008ED", "010200080008F80E");
    ExpectFrames("outputs", ReadOutputsRequest(), "#01RDO", ":010100000008F6", "0101000000083DCC");
    EXPECT_EQ(BuildFrame(Protocol::Own, StationHexOf(31), ReadCountersRequest()), "#1FRCT\r");
}

TEST(Frames, TheStationAFrameIsAddressedToIsReadBackFromItInEveryProtocol) {
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        EXPECT_EQ(FrameStation(protocol, *BuildFrame(protocol, "1F", ReadInputsRequest())), 31);
}

TEST(Frames, OutputToggleAndAllOutputsInEveryProtocol) {
    ExpectFrames("output 1 off to on", ToggleOutputRequest(1, 0), "#01WDO1,1", ":01050000FF00FB",
                 "01050000FF008C3A");
    ExpectFrames("output 8 on to off", ToggleOutputRequest(8, 1), "#01WDO8,0", ":010500070000F3",
                 "0105000700007C0B");
    ExpectFrames("all on", AllOutputsRequest(true), "#01WDO12345678,11111111",
                 ":010F0000000801FFE8", "010F0000000801FFBED5");
}

TEST(CounterFrames, ClearOneOrAllAndPresetWithTheLrcOfItsDataAlone) {
    EXPECT_EQ(Own(ClearCounterRequest(1)), "#01CCT1\r");
    EXPECT_EQ(Own(PresetCounterRequest(3, 1000.7)), "#01WRTC1204000003E8FF\r");
    EXPECT_EQ(Own(PresetCounterRequest(0, 0)), "#01WRTC0A20" + std::string(64, '0') + "D6\r");
    EXPECT_EQ(PresetCounterRequest(8, 4294967295.0).ownCommand, "WRTC2604FFFFFFFFDA");
}

TEST(EnableFrames, ReadAndWriteOneFlagByteAtAddressEight) {
    EXPECT_EQ(Own(ReadEnableRequest()), "#01RRTC0801\r");
    EXPECT_EQ(Own(WriteEnableRequest("05")), "#01WRTC080105F2\r");
}

}  // namespace
}  // namespace tally
