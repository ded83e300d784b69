#include "protocol/checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/hex.h"
#include "test_bytes.h"

namespace tally {
namespace {

using test::ByteString;

struct ChecksumCase {
    std::string input;
    std::string expected;
};

TEST(LrcOfHex, IsTheTwosComplementOfTheByteSum) {
    const std::vector<ChecksumCase> cases = {
        {"0801FF", "F8"},
        {"080100", "F7"},
        {"000000", "00"},
        {"080105", "F2"},
        {"080107", "F0"},
        // Read-holding-registers example of the Modbus application protocol
        // (slave 11h, registers 006Bh-006Dh), sent as :1103006B00037E.
        {"1103006B0003", "7E"},
        // Read frames of station 1 as mbpoll/libmodbus ASCII would carry them.
        {"010300000020", "DC"},
        {"010200080008", "ED"},
        {"010100000008", "F6"},
        {"", "00"},
        // An odd last character is a group of its own.
        {"F", "F1"},
        {"0F0", "F1"},
        {"1G", "FF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LrcOfHex(c.input), c.expected) << c.input;
}

TEST(Crc16OfBytes, IsTheModbusCrcHighByteFirst) {
    const std::vector<ChecksumCase> cases = {
        {ByteString({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}), "CDC5"},
        // CRC example of the Modbus serial-line guide: message 02 07, CRC 1241.
        {ByteString({0x02, 0x07}), "1241"},
        {ByteString({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}), "8776"},
        {"", "FFFF"},
        {ByteString({0x01, 0x01, 0x01, 0x81}), "E891"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Crc16OfBytes(c.input), c.expected);
}

TEST(CrcOfHex, PutsTheLowByteFirstAsAnRtuFrameCarriesIt) {
    const std::vector<ChecksumCase> cases = {
        {"01030000000A", "C5CD"},
        // Captured with mbpoll -m rtu -a 1 -t 4 -0 -r 0 -c 32: 01 03 00 00 00 20 44 12.
        {"010300000020", "4412"},
        {"1103006B0003", "7687"},
        {"", "FFFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CrcOfHex(c.input), c.expected) << c.input;
}

TEST(CrcOfHex, AFrameWithItsCrcAppendedChecksToZero) {
    const std::string payload = "0103400A00FF80";
    EXPECT_EQ(Crc16OfBytes(HexToBytes(payload + CrcOfHex(payload))), "0000");
}

}  // namespace
}  // namespace tally
