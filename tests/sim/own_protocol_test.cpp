#include "sim/own_protocol.h"

#include <gtest/gtest.h>

namespace tally::sim {
namespace {

using Kind = RequestOutcome::Kind;

class OwnProtocolTest : public ::testing::Test {
  protected:
    RequestOutcome send(const std::string& command, int station = 1) {
        return AnswerOwnRequest(module, station, "#01" + command + "\r");
    }
    std::string reply(const std::string& command) {
        const RequestOutcome outcome = send(command);
        EXPECT_EQ(outcome.kind, Kind::Answer) << command;
        return outcome.reply;
    }

    ModuleState module{0};
};

TEST_F(OwnProtocolTest, ReadCountersGivesEightHexFields) {
    module.setCounter(1, 16);
    module.setCounter(2, 10);
    module.setCounter(8, 0xFFFFFFFFU);
    EXPECT_EQ(reply("RCT"),
              ">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r");
}

TEST_F(OwnProtocolTest, ReadInputsGivesOutputsThenInputs) {
    module.setOutput(2, true);
    module.applyInputs(0x81);  // inputs 1 and 8
    EXPECT_EQ(reply("RDI"), ">0100000010000001\r");
}

TEST_F(OwnProtocolTest, ReadOutputsGivesOutputOneFirst) {
    module.setOutput(1, true);
    module.setOutput(8, true);
    EXPECT_EQ(reply("RDO"), ">10000001\r");
}

TEST_F(OwnProtocolTest, WriteOutputsSingleAndFullForms) {
    EXPECT_EQ(reply("WDO3,1"), "DO>OK\r");
    EXPECT_EQ(module.outputs(), 0x04);
    EXPECT_EQ(reply("WDO12345678,11111111"), "DO>OK\r");
    EXPECT_EQ(module.outputs(), 0xFF);
    EXPECT_EQ(reply("WDO8,0"), "DO>OK\r");
    EXPECT_EQ(module.outputs(), 0x7F);
    EXPECT_EQ(reply("WDO12345678,00000000"), "DO>OK\r");
    EXPECT_EQ(module.outputs(), 0x00);
}

TEST_F(OwnProtocolTest, MalformedOutputWritesChangeNothingAndGetNoAnswer) {
    for (const char* bad : {"WDO", "WDO3", "WDO9,1", "WDO0,1", "WDO3,2", "WDO12,1", "WDO1,11",
                            "WDO,", "WDO123456789,111111111"}) {
        EXPECT_EQ(send(bad).kind, Kind::Invalid) << bad;
        EXPECT_EQ(module.outputs(), 0) << bad;
    }
}

TEST_F(OwnProtocolTest, ClearOneCounterOrAll) {
    for (int k = 1; k <= 8; ++k)
        module.setCounter(k, 100U + static_cast<unsigned>(k));
    EXPECT_EQ(reply("CCT3"), "CCT>OK\r");
    EXPECT_EQ(module.counter(3), 0U);
    EXPECT_EQ(module.counter(4), 104U);
    EXPECT_EQ(reply("CCT"), "CCT>OK\r");
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(module.counter(k), 0U);
    EXPECT_EQ(send("CCT9").kind, Kind::Invalid);
    EXPECT_EQ(send("CCT12").kind, Kind::Invalid);
}

TEST_F(OwnProtocolTest, ReadEnableFlagsAndMemory) {
    module.setEnableFlags(0xA5);
    EXPECT_EQ(reply("RRTC0801"), "RTC>A5\r");
    module.setCounter(1, 0x01020304);
    EXPECT_EQ(reply("RRTC0A04"), "RTC>01020304\r");
}

TEST_F(OwnProtocolTest, WriteEnableFlagsWithGoodLrc) {
    EXPECT_EQ(reply("WRTC080105F2"), "RTC>OK\r");
    EXPECT_EQ(module.enableFlags(), 0x05);
    EXPECT_EQ(reply("WRTC0801FFF8"), "RTC>OK\r");
    EXPECT_EQ(module.enableFlags(), 0xFF);
}

TEST_F(OwnProtocolTest, PresetOneCounterAndAllCounters) {
    EXPECT_EQ(reply("WRTC1204000003E8FF"), "RTC>OK\r");
    EXPECT_EQ(module.counter(3), 1000U);
    module.setCounter(8, 5);
    // All eight to zero: 0A 20 then 32 zero bytes, check value D6.
    EXPECT_EQ(reply("WRTC0A20" + std::string(64, '0') + "D6"), "RTC>OK\r");
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(module.counter(k), 0U);
}

TEST_F(OwnProtocolTest, WriteWithWrongLrcChangesNothingAndGetsNoAnswer) {
    const RequestOutcome outcome = send("WRTC080100F8");  // the right check value is F7
    EXPECT_EQ(outcome.kind, Kind::BadChecksum);
    EXPECT_TRUE(outcome.reply.empty());
    EXPECT_EQ(module.enableFlags(), 0xFF);
}

TEST_F(OwnProtocolTest, MemoryRequestsThatDoNotFitAreIgnored) {
    EXPECT_EQ(send("RRTC0800").kind, Kind::Invalid);      // zero bytes
    EXPECT_EQ(send("RRTCFF02").kind, Kind::Invalid);      // past the end
    EXPECT_EQ(send("RRTC08").kind, Kind::Invalid);        // fields missing
    EXPECT_EQ(send("RRTC0G01").kind, Kind::Invalid);      // not hex
    EXPECT_EQ(send("WRTC0802FFF7").kind, Kind::Invalid);  // count says 2, one byte given
    EXPECT_EQ(module.enableFlags(), 0xFF);
}

TEST_F(OwnProtocolTest, RequestForAnotherStationGetsNoAnswer) {
    EXPECT_EQ(AnswerOwnRequest(module, 2, "#01RCT\r").kind, Kind::OtherStation);
    EXPECT_EQ(AnswerOwnRequest(module, 31, "#1FRCT\r").kind, Kind::Answer);
    EXPECT_EQ(AnswerOwnRequest(module, 0, "#00WDO1,1\r").kind, Kind::Answer);
}

TEST_F(OwnProtocolTest, UnknownOrBrokenFramesAreIgnored) {
    for (const char* frame : {"#01XYZ\r", "#01\r", "#0", "#ZZRCT\r", "#01RCT", "01RCT\r",
                              "#01RCTX\r", "#01rct\r", ""}) {
        EXPECT_NE(AnswerOwnRequest(module, 1, frame).kind, Kind::Answer) << frame;
    }
}

}  // namespace
}  // namespace tally::sim
