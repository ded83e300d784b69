// Hex digits and checksums where the frame vectors and decoded replies do not already pin
// them: lower-case and malformed digits, and the checksums' own reference values.
#include <gtest/gtest.h>

#include <string>

#include "protocol/baud_rates.h"
#include "protocol/checksum.h"
#include "protocol/hex.h"
#include "protocol/protocol.h"

namespace tally {
namespace {

using namespace std::string_literals;

TEST(ProtocolNames, EachNameReadsBackAndOnlyTheModbusNamesHaveShortForms) {
    for (const Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        EXPECT_EQ(ParseProtocolName(ProtocolName(protocol)), protocol);
    EXPECT_EQ(ParseProtocolName("ascii"), Protocol::ModbusAscii);
    EXPECT_EQ(ParseProtocolName("rtu"), Protocol::ModbusRtu);
    for (const char* other : {"", "Korvi", "RTU", "modbus", "own", "modbus-", "bus-rtu", "rtu "})
        EXPECT_EQ(ParseProtocolName(other), std::nullopt) << other;
    EXPECT_EQ(BaudRatesText(), "1200, 2400, 4800, 9600, 14400, 19200, 28800 or 57600");
    EXPECT_TRUE(IsBaudRate(14400) && !IsBaudRate(115200));
}

TEST(GroupValue, ReadsUpToTwoHexDigitsFromTheLeftUntilANonHexCharacter) {
    const std::pair<std::string, int> cases[] = {{"FF", 255}, {"ff", 255},  {"aB", 171},
                                                 {"7", 7},    {"1G", 1},    {"G1", 0},
                                                 {"", 0},     {"123", 0x12}};
    for (const auto& [group, value] : cases)
        EXPECT_EQ(GroupValue(group), value) << group;
}

TEST(Checksums, LrcIsTheTwosComplementOfTheGroupSumAndCrcIsTheModbusCrcLowByteFirst) {
    const std::pair<std::string, std::string> lrc[] = {
        {"0801FF", "F8"}, {"080100", "F7"}, {"000000", "00"}, {"1103006B0003", "7E"}};
    for (const auto& [hex, sum] : lrc)
        EXPECT_EQ(LrcOfHex(hex), sum) << hex;
    EXPECT_EQ(Crc16OfBytes("\x01\x03\x00\x00\x00\x0A"s), "CDC5");
    EXPECT_EQ(CrcOfHex("01030000000A"), "C5CD");
}

}  // namespace
}  // namespace tally
