// The poll cycle: read requests, reply collection, completeness, timeouts.
#include "engine_fixture.h"

namespace tally::testing {
namespace {

using Strings = std::vector<std::string>;

class PollCycle : public EngineTest {};

TEST_F(PollCycle, TypicalCounterReadEveryFiveSeconds) {
    setBoxes(1, 0, 0);
    tickRead(5);

    EXPECT_EQ(writes(), Strings{"#01RCT\r"});
    EXPECT_EQ(host.statuses, (Strings{"Read Value", "Read DC"}));
    EXPECT_EQ(state.PollStep, 10);
    EXPECT_TRUE(tmrRead.Enabled());
    EXPECT_TRUE(tmrNow.Enabled());
    EXPECT_EQ(tmrNow.Interval(), 5000);
    EXPECT_EQ(state.AutoReadSeconds, 5);

    answer(kCounterReply);
    EXPECT_EQ(host.decodedSteps, std::vector<int>{10});
    EXPECT_EQ(host.decodedReplies, Strings{kCounterReply});
    EXPECT_EQ(host.lastStatus(), "Read OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_TRUE(state.RxBuffer.empty());
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_EQ(host.busyClears, 1);
    EXPECT_EQ(writes().size(), 1u) << "DI and DO are unticked: the cycle ends";

    tmrNow.Fire();
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
    EXPECT_EQ(state.PollStep, 10);
}

TEST_F(PollCycle, InputLeftOverFromAnEarlierExchangeIsThrownAwayBeforeARead) {
    setBoxes(1, 0, 0);
    port.Receive("late junk\r");
    tickRead(5);
    answer(kCounterReply);
    EXPECT_EQ(host.decodedReplies, Strings{kCounterReply});
}

TEST_F(PollCycle, OnlyInputsTickedReadsTheInputsAlone) {
    setBoxes(0, 1, 0);
    tickRead(5);
    EXPECT_EQ(writes(), Strings{"#01RDI\r"});
    EXPECT_EQ(state.PollStep, 20);
    EXPECT_EQ(host.lastStatus(), "Read DI");
    answer(kInputReply);
    EXPECT_EQ(host.decodedSteps, std::vector<int>{20});
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(PollCycle, AllThreeReadsGoInOrderEachAfterTheLastReply) {
    setBoxes(1, 1, 1);
    state.StationHex = "1F";
    tickRead(5);
    answer(kCounterReply);
    answer(kInputReply);
    answer(kOutputReply);
    EXPECT_EQ(writes(), (Strings{"#1FRCT\r", "#1FRDI\r", "#1FRDO\r"}));
    EXPECT_EQ(host.decodedSteps, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(host.statuses, (Strings{"Read Value", "Read DC", "Read OK", "Read DI", "Read OK",
                                      "Read DO", "Read OK"}));
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(PollCycle, IntervalZeroReadsOneCycleThenUnticksRead) {
    setBoxes(1, 1, 0);
    tickRead(0);
    EXPECT_FALSE(tmrNow.Enabled());
    answer(kCounterReply);
    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RDI\r"}));
    EXPECT_EQ(state.PollStep, 1000);
    EXPECT_FALSE(host.readTicked);
    EXPECT_EQ(host.unticks, 1);
    EXPECT_FALSE(tmrNow.Enabled());

    // Ticking "Read" again starts over from the counters.
    tickRead(0);
    EXPECT_EQ(state.PollStep, 10);
    EXPECT_EQ(writes().back(), "#01RCT\r");
}

TEST_F(PollCycle, IntervalSixtyRunsTheCycleTimerAtSixtyThousandMilliseconds) {
    setBoxes(1, 0, 0);
    tickRead(60);
    EXPECT_EQ(tmrNow.Interval(), 60000);
    EXPECT_TRUE(tmrNow.Enabled());
}

TEST_F(PollCycle, CycleTimerTickWithReadUntickedOrLineClosedStopsTheTimer) {
    setBoxes(1, 0, 0);
    tickRead(5);
    answer(kCounterReply);
    host.readTicked = false;
    tmrNow.Fire();
    EXPECT_FALSE(tmrNow.Enabled());
    EXPECT_EQ(writes().size(), 1u);

    host.readTicked = true;
    host.lineOpen = false;
    engine.tmrNow_Timer();
    EXPECT_FALSE(tmrNow.Enabled());
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(PollCycle, ReplyInPiecesIsTakenOnceItsTerminatorArrives) {
    setBoxes(1, 0, 0);
    tickRead(5);
    answer(">00000010,0000000A,");
    answer("00000000,00000000,00000000,");
    EXPECT_TRUE(host.decodedSteps.empty());
    EXPECT_TRUE(tmrRead.Enabled());
    answer("00000000,00000000,FFFFFFFF\r");
    EXPECT_EQ(host.decodedReplies, Strings{kCounterReply});
    EXPECT_EQ(host.lastStatus(), "Read OK");
}

TEST_F(PollCycle, OwnProtocolReplyEndingInLineFeedIsNotComplete) {
    setBoxes(1, 0, 0);
    tickRead(5);
    answer(">00000001\r\n");
    EXPECT_TRUE(host.decodedSteps.empty());
    EXPECT_TRUE(tmrRead.Enabled());
    noAnswer();
    EXPECT_TRUE(host.decodedSteps.empty());
    EXPECT_EQ(host.lastStatus(), "Time Out");
}

TEST_F(PollCycle, TerminatorArrivingExactlyAtTheDeadlineIsAccepted) {
    setBoxes(1, 0, 0);
    clock.Set(45000, 1000.0);
    tickRead(5);
    port.Receive(kCounterReply);
    clock.Set(45000, 1000.0 + static_cast<double>(0.3f));
    ASSERT_LE(state.ReplyDeadline, NowStamp(clock)) << "this tick is at the deadline";
    tmrRead.Fire();
    EXPECT_EQ(host.lastStatus(), "Read OK");
    EXPECT_EQ(host.decodedSteps.size(), 1u);
}

TEST_F(PollCycle, IncompleteReplyAtTheDeadlineTimesOut) {
    setBoxes(1, 0, 0);
    clock.Set(45000, 1000.0);
    tickRead(5);
    port.Receive(">00000010");
    clock.Set(45000, 1000.0 + static_cast<double>(0.3f));
    tmrRead.Fire();
    EXPECT_EQ(host.lastStatus(), "Time Out");
    EXPECT_TRUE(host.decodedSteps.empty());
}

TEST_F(PollCycle, TimeoutAbandonsTheCycleAndARepeatingReadTriesAgainNextTick) {
    setBoxes(1, 1, 1);
    tickRead(5);
    const int ticks = noAnswer();
    EXPECT_EQ(ticks, 8) << "0.28 s is in time, 0.32 s is late";
    EXPECT_EQ(host.lastStatus(), "Time Out");
    EXPECT_EQ(writes(), Strings{"#01RCT\r"}) << "no input or output read after the timeout";
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_TRUE(state.RxBuffer.empty());
    EXPECT_TRUE(host.readTicked);
    EXPECT_EQ(host.busyClears, 1);

    tmrNow.Fire();
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
}

TEST_F(PollCycle, TimeoutOfASingleReadUnticksRead) {
    setBoxes(1, 1, 0);
    tickRead(0);
    port.Receive(">0000");
    noAnswer();
    EXPECT_EQ(host.lastStatus(), "Time Out");
    EXPECT_FALSE(host.readTicked);
    EXPECT_EQ(host.unticks, 1);
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 1u);
    EXPECT_TRUE(state.RxBuffer.empty()) << "the partial reply does not leak into the next one";
}

TEST_F(PollCycle, RequestSentJustBeforeMidnightTimesOutThreeTenthsLater) {
    setBoxes(1, 0, 0);
    clock.Set(45000, 86400.0 - 0.1);
    tickRead(5);
    EXPECT_EQ(noAnswer(), 8);
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_EQ(host.lastStatus(), "Time Out");
}

TEST_F(PollCycle, ModbusAsciiReadIsCompleteOnCarriageReturnLineFeed) {
    state.ProtocolIndex = 1;
    setBoxes(0, 1, 0);
    tickRead(5);
    EXPECT_EQ(writes(), Strings{":010200080008ED\r\n"});
    answer(":01020105F7\r");
    EXPECT_TRUE(host.decodedSteps.empty());
    answer("\n");
    EXPECT_EQ(host.decodedReplies, Strings{":01020105F7\r\n"});
    EXPECT_EQ(host.lastStatus(), "Read OK");
}

TEST_F(PollCycle, ModbusRtuReplyIsDecidedAtTheDeadlineAndNeverTimesOut) {
    state.ProtocolIndex = 2;
    setBoxes(1, 0, 1);
    tickRead(5);
    EXPECT_EQ(writes(), Strings{std::string("\x01\x03\x00\x00\x00\x20\x44\x12", 8)});

    answer(std::string("\x01\x03\x40", 3));
    EXPECT_TRUE(host.decodedSteps.empty()) << "an RTU reply is collected for the whole deadline";
    int ticks = 1;
    while (host.decodedSteps.empty() && ticks < 20) {
        replyTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 8);
    EXPECT_EQ(host.decodedReplies, Strings{std::string("\x01\x03\x40", 3)});
    EXPECT_EQ(host.statuses[host.statuses.size() - 2], "Read OK");

    // The output read gets no answer at all: still decoded (as empty), no "Time Out".
    EXPECT_EQ(writes().back(), std::string("\x01\x01\x00\x00\x00\x08\x3D\xCC", 8));
    noAnswer();
    EXPECT_EQ(host.decodedReplies.back(), "");
    EXPECT_EQ(host.lastStatus(), "Read OK");
    for (const auto& status : host.statuses)
        EXPECT_NE(status, "Time Out");
}

TEST_F(PollCycle, ReadBoxesAreLookedAtStepByStep) {
    setBoxes(0, 1, 1);
    tickRead(5);
    host.boxes[2] = 0;  // DO unticked while the input read is on the line
    answer(kInputReply);
    EXPECT_EQ(writes(), Strings{"#01RDI\r"});
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(PollCycle, ReadStepWithTheLineClosedSendsNothing) {
    setBoxes(1, 0, 0);
    host.lineOpen = false;
    state.PollStep = 0;
    state.ReplyDeadline = 123.0;
    engine.PollNext();
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(state.ReplyDeadline, 123.0);
    EXPECT_TRUE(host.statuses.empty());
    EXPECT_EQ(port.inputCount, 0);
    // The reply timer is left on for one tick that stops at once.
    EXPECT_TRUE(tmrRead.Enabled());
    tmrRead.Fire();
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_TRUE(host.decodedSteps.empty());
}

TEST(SuccessText, NamesTheKindOfRequestAnswered) {
    EXPECT_EQ(SuccessText(0), "Read OK");
    EXPECT_EQ(SuccessText(30), "Read OK");
    EXPECT_EQ(SuccessText(14), "Read DC Status OK");
    EXPECT_EQ(SuccessText(11), "Write OK") << "a clear is reported as a write";
    EXPECT_EQ(SuccessText(2), "Write OK");
    EXPECT_EQ(SuccessText(1003), "Write OK");
}

}  // namespace
}  // namespace tally::testing
