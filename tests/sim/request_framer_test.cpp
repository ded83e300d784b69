#include "sim/request_framer.h"

#include <gtest/gtest.h>

namespace tally::sim {
namespace {

using Kind = ReceivedFrame::Kind;

TEST(RequestFramerTest, FirstByteChoosesTheProtocol) {
    RequestFramer framer;
    auto frames = framer.feed(0, "#01RCT\r:010300000020DC\r\n");
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].kind, Kind::Own);
    EXPECT_EQ(frames[0].bytes, "#01RCT\r");
    EXPECT_EQ(frames[1].kind, Kind::ModbusAscii);
    EXPECT_EQ(frames[1].bytes, ":010300000020DC\r\n");

    frames = framer.feed(100, std::string("\x01\x03\x00\x00\x00\x20\x44\x12", 8));
    EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(framer.receiving());
}

TEST(RequestFramerTest, TextFrameMayArriveInPieces) {
    RequestFramer framer;
    EXPECT_TRUE(framer.feed(0, "#01W").empty());
    EXPECT_TRUE(framer.feed(5'000, "DO1,").empty());
    const auto frames = framer.feed(10'000, "1\r");
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].bytes, "#01WDO1,1\r");
    EXPECT_EQ(frames[0].startUs, 0);
    EXPECT_EQ(frames[0].endUs, 10'000);
}

TEST(RequestFramerTest, RtuFrameEndsAfterThreeAndAHalfCharactersOfSilence) {
    RequestFramer framer;
    framer.setBaud(9600);
    const std::int64_t silence = RequestFramer::RtuSilenceUs(9600);
    EXPECT_EQ(silence, 4010);  // 3.5 x 11 bits at 9600 baud
    framer.feed(0, std::string("\x01\x03\x00", 3));
    framer.feed(1000, std::string("\x00\x00\x20\x44\x12", 5));
    EXPECT_EQ(framer.nextExpiryUs(), 1000 + silence);
    EXPECT_FALSE(framer.expire(1000 + silence - 1));
    const auto frame = framer.expire(1000 + silence);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->kind, Kind::ModbusRtu);
    EXPECT_EQ(frame->bytes.size(), 8U);
    EXPECT_FALSE(framer.receiving());
}

TEST(RequestFramerTest, SilenceIsFixedAboveNineteenThousandTwoHundredBaud) {
    EXPECT_EQ(RequestFramer::RtuSilenceUs(38400), 1750);
    EXPECT_EQ(RequestFramer::RtuSilenceUs(115200), 1750);
    EXPECT_EQ(RequestFramer::RtuSilenceUs(19200), 2005);
}

TEST(RequestFramerTest, BytesAfterTheSilenceStartTheNextRtuFrame) {
    RequestFramer framer;
    framer.setBaud(19200);
    framer.feed(0, "\x01\x02");
    const auto frames = framer.feed(10'000, "#01RDO\r");
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].kind, Kind::ModbusRtu);
    EXPECT_EQ(frames[0].bytes, "\x01\x02");
    EXPECT_EQ(frames[1].kind, Kind::Own);
}

TEST(RequestFramerTest, NewStartCharacterAbandonsUnfinishedTextFrame) {
    RequestFramer framer;
    const auto frames = framer.feed(0, "#01RC#01RDI\r");
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].kind, Kind::Junk);
    EXPECT_EQ(frames[1].bytes, "#01RDI\r");
}

TEST(RequestFramerTest, UnfinishedTextFrameIsGivenUpAfterOneSecond) {
    RequestFramer framer;
    framer.feed(0, ":0103");
    EXPECT_FALSE(framer.expire(999'999));
    const auto junk = framer.expire(1'000'000);
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->kind, Kind::Junk);
}

TEST(RequestFramerTest, OversizedFramesAreThrownAwayWhole) {
    RequestFramer framer;
    auto frames = framer.feed(0, "#" + std::string(2000, 'A') + "\r#01RCT\r");
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].kind, Kind::Junk);
    EXPECT_EQ(frames[1].bytes, "#01RCT\r");

    framer.feed(0, std::string(1000, '\x01'));
    const auto rtu = framer.expire(1'000'000);
    ASSERT_TRUE(rtu);
    EXPECT_EQ(rtu->kind, Kind::Junk);
}

}  // namespace
}  // namespace tally::sim
