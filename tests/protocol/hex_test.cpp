#include "protocol/hex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "test_bytes.h"

namespace tally {
namespace {

using test::ByteString;

struct GroupCase {
    std::string group;
    int value;
};

TEST(GroupValue, ReadsHexFromTheLeftUpToTheFirstNonHexCharacter) {
    const std::vector<GroupCase> cases = {
        {"00", 0},
        {"FF", 255},
        {"ff", 255},
        {"aB", 171},
        {"7", 7},
        {"1G", 1},
        {"G1", 0},
        {"", 0},
        {"--", 0},
        {"123", 0x12},
        {"\r\n", 0},
        {"\xFF\x80", 0},
        {std::string("\0A", 2), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GroupValue(c.group), c.value) << c.group;
}

struct BytesCase {
    std::string hex;
    std::string bytes;
};

TEST(HexToBytes, TurnsEachPairIntoOneByteAndDropsAnOddLastCharacter) {
    const std::vector<BytesCase> cases = {
        {"01030AFF", ByteString({0x01, 0x03, 0x0A, 0xFF})},
        {"00FF", ByteString({0x00, 0xFF})},
        {"0", ""},
        {"", ""},
        {"ABC", ByteString({0xAB})},
        {"ff80", ByteString({0xFF, 0x80})},
        {"1GG1", ByteString({0x01, 0x00})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexToBytes(c.hex), c.bytes) << c.hex;
}

TEST(BytesToHex, WritesEveryByteAsTwoUpperCaseDigits) {
    const std::vector<BytesCase> cases = {
        {"0103400A", ByteString({0x01, 0x03, 0x40, 0x0A})},
        {"00", ByteString({0x00})},
        {"", ""},
        {"FF807F", ByteString({0xFF, 0x80, 0x7F})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BytesToHex(c.bytes), c.hex) << c.hex;
}

TEST(BytesToHex, EveryByteValueSurvivesTheRoundTrip) {
    std::string all;
    for (int v = 0; v < 256; ++v)
        all.push_back(static_cast<char>(v));
    EXPECT_EQ(BytesToHex(all).size(), 512u);
    EXPECT_EQ(HexToBytes(BytesToHex(all)), all);
}

struct BitsCase {
    std::string hex;
    BitArray bits;
};

TEST(HexToBits, ElementZeroIsTheLowBitOfTheLastDigitWithOneSpareZeroOnTop) {
    const std::vector<BitsCase> cases = {
        {"A5", {1, 0, 1, 0, 0, 1, 0, 1, 0}},
        {"0", {0, 0, 0, 0, 0}},
        {"F", {1, 1, 1, 1, 0}},
        {"", {0}},
        {"a", {0, 1, 0, 1, 0}},
        {"G", {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexToBits(c.hex), c.bits) << c.hex;
}

TEST(BitsToHex, PutsTheGroupOfElementsZeroToThreeLast) {
    const std::vector<BitsCase> cases = {
        {"81", {1, 0, 0, 0, 0, 0, 0, 1}},
        {"7", {1, 1, 1}},
        {"0FF", {1, 1, 1, 1, 1, 1, 1, 1, 0}},
        {"", {}},
        // A flag is any element that is not 0.
        {"3", {2, -1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BitsToHex(c.bits), c.hex) << c.hex;
}

TEST(BitsToHex, TheSpareElementOfHexToBitsAddsALeadingZero) {
    EXPECT_EQ(BitsToHex(HexToBits("3C")), "03C");
}

struct NumberCase {
    std::string hex;
    double value;
};

TEST(HexToNumber, ReadsPairsFromTheRightAsUnsignedValues) {
    const std::vector<NumberCase> cases = {
        {"0000012C", 300}, {"ABC", 2748},    {"FFFFFFFF", 4294967295.0},
        {"1", 1},          {"", 0},          {"ffffffff", 4294967295.0},
        {"1G", 1},         {"G1", 0},        {"20000000000000", 9007199254740992.0},
        {"00000010", 16},  {"0000000A", 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexToNumber(c.hex), c.value) << c.hex;
}

TEST(HexToNumber, AnOverlongTextGivesInfinityNeverNaN) {
    EXPECT_TRUE(std::isinf(HexToNumber(std::string(600, 'F'))));
    EXPECT_TRUE(std::isinf(HexToNumber("1" + std::string(600, '0'))));
}

TEST(NumberToHex, WritesWholeValuesWithoutLeadingZeros) {
    const std::vector<NumberCase> cases = {
        {"12C", 300},
        {"FFFFFFFF", 4294967295.0},
        {"", 0},
        {"10", 16},
        {"1", 1},
        {"20000000000000", 9007199254740992.0},
        // Fractions are dropped rather than written as a digit above F.
        {"2", 2.7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberToHex(c.value), c.hex) << c.value;
}

TEST(NumberToHex, ValuesWithoutAHexFormGiveTheEmptyText) {
    for (const double v :
         {-1.0, -4294967296.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.5})
        EXPECT_EQ(NumberToHex(v), "") << v;
}

}  // namespace
}  // namespace tally
