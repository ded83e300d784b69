#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "protocol/checksum.h"
#include "protocol/hex.h"

namespace tally {
namespace {

using namespace std::string_literals;

TEST(GroupValue, ReadsUpToTwoHexDigitsFromTheLeftUntilANonHexCharacter) {
    const std::pair<std::string, int> cases[] = {
        {"FF", 255}, {"ff", 255}, {"aB", 171},   {"7", 7},        {"1G", 1},
        {"G1", 0},   {"", 0},     {"123", 0x12}, {"\xFF\x80", 0}, {"\0A"s, 0}};
    for (const auto& [group, value] : cases)
        EXPECT_EQ(GroupValue(group), value) << group;
}

TEST(HexToBytes, TurnsEachPairIntoOneByteAndDropsAnOddLastCharacter) {
    EXPECT_EQ(HexToBytes("01030AFF"), "\x01\x03\x0A\xFF");
    EXPECT_EQ(HexToBytes("ff80"), "\xFF\x80");
    EXPECT_EQ(HexToBytes("ABC"), "\xAB");
    EXPECT_EQ(HexToBytes("0"), "");
    EXPECT_EQ(HexToBytes(""), "");
    EXPECT_EQ(HexToBytes("1GG1"), "\x01\0"s);
}

TEST(BytesToHex, WritesTwoUpperCaseDigitsPerByteAndEveryByteSurvivesTheRoundTrip) {
    EXPECT_EQ(BytesToHex("\xFF\x80\x7F\0"s), "FF807F00");
    EXPECT_EQ(BytesToHex(""), "");
    std::string all;
    for (int v = 0; v < 256; ++v)
        all.push_back(static_cast<char>(v));
    EXPECT_EQ(BytesToHex(all).size(), 512u);
    EXPECT_EQ(HexToBytes(BytesToHex(all)), all);
}

TEST(HexToBits, ElementZeroIsTheLowBitOfTheLastDigitWithOneSpareZeroOnTop) {
    EXPECT_EQ(HexToBits("A5"), (BitArray{1, 0, 1, 0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(HexToBits("0"), (BitArray{0, 0, 0, 0, 0}));
    EXPECT_EQ(HexToBits("F"), (BitArray{1, 1, 1, 1, 0}));
    EXPECT_EQ(HexToBits("a"), (BitArray{0, 1, 0, 1, 0}));
    EXPECT_EQ(HexToBits("G"), (BitArray{0, 0, 0, 0, 0}));
    EXPECT_EQ(HexToBits(""), (BitArray{0}));
}

TEST(BitsToHex, PutsElementsZeroToThreeInTheLastDigitAndAnyNonZeroElementIsSet) {
    EXPECT_EQ(BitsToHex({1, 0, 0, 0, 0, 0, 0, 1}), "81");
    EXPECT_EQ(BitsToHex({1, 1, 1}), "7");
    EXPECT_EQ(BitsToHex({1, 1, 1, 1, 1, 1, 1, 1, 0}), "0FF");
    EXPECT_EQ(BitsToHex({2, -1}), "3");
    EXPECT_EQ(BitsToHex({}), "");
    // The spare element of HexToBits adds a leading zero.
    EXPECT_EQ(BitsToHex(HexToBits("3C")), "03C");
}

TEST(HexToNumber, ReadsUnsignedPairsAndAnOverlongTextGivesInfinityNeverNaN) {
    const std::pair<std::string, double> cases[] = {{"0000012C", 300},
                                                    {"ABC", 2748},
                                                    {"FFFFFFFF", 4294967295.0},
                                                    {"ffffffff", 4294967295.0},
                                                    {"1", 1},
                                                    {"", 0},
                                                    {"1G", 1},
                                                    {"G1", 0}};
    for (const auto& [hex, value] : cases)
        EXPECT_EQ(HexToNumber(hex), value) << hex;
    EXPECT_EQ(HexToNumber("20000000000000"), 9007199254740992.0);
    EXPECT_TRUE(std::isinf(HexToNumber(std::string(600, 'F'))));
    EXPECT_TRUE(std::isinf(HexToNumber("1" + std::string(600, '0'))));
}

TEST(NumberToHex, WritesWholeValuesWithoutLeadingZerosAndNothingForValuesWithoutAHexForm) {
    const std::pair<double, std::string> cases[] = {
        {300, "12C"}, {4294967295.0, "FFFFFFFF"}, {0, ""}, {16, "10"}, {1, "1"}, {2.7, "2"}};
    for (const auto& [value, hex] : cases)
        EXPECT_EQ(NumberToHex(value), hex) << value;
    EXPECT_EQ(NumberToHex(9007199254740992.0), "20000000000000");
    const double inf = std::numeric_limits<double>::infinity();
    for (const double v : {-1.0, -4294967296.0, 0.5, inf, -inf, std::nan("")})
        EXPECT_EQ(NumberToHex(v), "") << v;
}

TEST(Checksums, LrcIsTheTwosComplementOfTheGroupSumAndCrcIsTheModbusCrc) {
    const std::pair<std::string, std::string> lrc[] = {
        {"0801FF", "F8"},       {"080100", "F7"}, {"000000", "00"}, {"1103006B0003", "7E"},
        {"010300000020", "DC"}, {"", "00"},       {"F", "F1"},      {"1G", "FF"}};
    for (const auto& [hex, sum] : lrc)
        EXPECT_EQ(LrcOfHex(hex), sum) << hex;
    EXPECT_EQ(Crc16OfBytes("\x01\x03\x00\x00\x00\x0A"s), "CDC5");
    EXPECT_EQ(Crc16OfBytes("\x02\x07"), "1241");
    EXPECT_EQ(Crc16OfBytes(""), "FFFF");
    // CrcOfHex puts the low byte first, as an RTU frame carries it.
    EXPECT_EQ(CrcOfHex("01030000000A"), "C5CD");
    EXPECT_EQ(CrcOfHex("1103006B0003"), "7687");
}

}  // namespace
}  // namespace tally
