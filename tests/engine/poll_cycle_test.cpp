// The poll cycle (reads, reply collection, completeness, timeouts) and the
// one-slot command queue.
#include "engine_fixture.h"

namespace tally::testing {
namespace {

using PollCycle = EngineTest;
using CommandDispatch = EngineTest;

TEST_F(PollCycle, SingleCycleReadsEachTickedBoxInOrderThenUnticksRead) {
    setBoxes(1, 1, 1);
    state.StationHex = "1F";
    tickRead(0);
    EXPECT_FALSE(tmrNow.Enabled());
    answer(kCounterReply);
    answer(kInputReply);
    answer(kOutputReply);
    EXPECT_EQ(writes(), (Strings{"#1FRCT\r", "#1FRDI\r", "#1FRDO\r"}));
    EXPECT_EQ(decodedSteps, (Steps{10, 20, 30}));
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DC", "Read OK", "Read DI", "Read OK",
                                 "Read DO", "Read OK"}));
    EXPECT_EQ(state.PollStep, 1000);
    EXPECT_FALSE(readTicked);
    EXPECT_EQ(unticks, 1);
    EXPECT_FALSE(tmrNow.Enabled());
    tickRead(0);
    EXPECT_EQ(state.PollStep, 10) << "ticked again, it starts over from the counters";
    EXPECT_EQ(writes().back(), "#1FRCT\r");
}

TEST_F(PollCycle, RepeatingReadFlushesOldInputAndRunsOnEachCycleTickWhileTicked) {
    setBoxes(1, 0, 0);
    port.Receive("late junk\r");
    tickRead(5);
    EXPECT_TRUE(tmrRead.Enabled());
    EXPECT_NEAR(state.ReplyDeadline, NowStamp(clock) + 0.3 * OneSecond, 1e-9);
    answer(kCounterReply);
    EXPECT_EQ(decodedReplies, Strings{kCounterReply});
    EXPECT_TRUE(state.RxBuffer.empty());
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(busyClears, 1);
    EXPECT_TRUE(readTicked);
    tmrNow.Fire();
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
    answer(kCounterReply);
    readTicked = false;
    tmrNow.Fire();
    EXPECT_FALSE(tmrNow.Enabled()) << "Read unticked";
    readTicked = true;
    lineOpen = false;
    tmrNow.SetEnabled(true);
    tmrNow.Fire();
    EXPECT_FALSE(tmrNow.Enabled()) << "line closed";
    EXPECT_EQ(writes().size(), 2u);
}

TEST(PollCycleTimer, IntervalIsTheReadIntervalKeptWithinZeroToSixtySeconds) {
    const struct { int seconds, ms; } rows[] = {{5, 5000}, {60, 60000}, {75, 60000}, {-3, 0}};
    for (const auto& row : rows) {
        Rig r;
        r.setBoxes(1, 0, 0);
        r.tickRead(row.seconds);
        EXPECT_EQ(r.tmrNow.Interval(), row.ms) << row.seconds;
        EXPECT_EQ(r.state.AutoReadSeconds, row.ms / 1000) << row.seconds;
        EXPECT_EQ(r.tmrNow.Enabled(), row.ms > 0) << row.seconds;
    }
}

TEST(PollCycleReply, IsCompleteOnItsProtocolsTerminatorUpToAndOnTheDeadlineTick) {
    const struct {
        int protocol;
        Strings pieces;  // one per reply tick
        bool lastOnDeadline;
        std::string decoded;  // empty: timed out
    } rows[] = {{0, {">0010,", "000A,", "FFFF\r"}, false, ">0010,000A,FFFF\r"},
                {0, {">0001\r\n"}, false, ""},
                {0, {">0001\r"}, true, ">0001\r"},
                {0, {">0001"}, true, ""},
                {1, {":01020105F7\r", "\n"}, false, ":01020105F7\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pieces.front());
        Rig r;
        r.state.ProtocolIndex = static_cast<std::int16_t>(row.protocol);
        r.setBoxes(1, 0, 0);
        r.tickRead(5);
        const double sent = r.clock.SecondsSinceMidnight();
        for (std::size_t i = 0; i + 1 < row.pieces.size(); ++i) {
            r.answer(row.pieces[i]);
            EXPECT_TRUE(r.decodedSteps.empty());
        }
        r.port.Receive(row.pieces.back());
        const double now = r.clock.SecondsSinceMidnight() + 0.04;
        r.clock.Set(45000, row.lastOnDeadline ? sent + static_cast<double>(0.3f) : now);
        ASSERT_EQ(r.state.ReplyDeadline <= NowStamp(r.clock), row.lastOnDeadline);
        r.tmrRead.Fire();
        r.noAnswer();
        EXPECT_EQ(r.decodedReplies, row.decoded.empty() ? Strings{} : Strings{row.decoded});
        EXPECT_EQ(r.lastStatus(), row.decoded.empty() ? "Time Out" : "Read OK");
    }
}

TEST_F(PollCycle, TimeoutAfterEightTicksEvenAcrossMidnightAbandonsTheCycle) {
    setBoxes(1, 1, 1);
    clock.Set(45000, 86400.0 - 0.1);
    tickRead(5);
    EXPECT_EQ(noAnswer(), 8) << "0.28 s is in time, 0.32 s is late";
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_EQ(lastStatus(), "Time Out");
    EXPECT_EQ(writes(), Strings{"#01RCT\r"}) << "no input or output read after the timeout";
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_TRUE(readTicked);
    EXPECT_EQ(busyClears, 1);
    tmrNow.Fire();
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
}

TEST_F(PollCycle, TimeoutOfASingleReadUnticksReadAndDropsThePartialReply) {
    setBoxes(1, 1, 0);
    tickRead(0);
    port.Receive(">0000");
    noAnswer();
    EXPECT_EQ(statuses.back(), "Time Out");
    EXPECT_EQ(unticks, 1);
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 1u);
    EXPECT_TRUE(state.RxBuffer.empty());
}

TEST_F(PollCycle, ModbusRtuReplyIsDecidedOnTheDeadlineTickAndNeverTimesOut) {
    state.ProtocolIndex = 2;
    setBoxes(1, 0, 1);
    tickRead(5);
    EXPECT_EQ(writes(), Strings{std::string("\x01\x03\x00\x00\x00\x20\x44\x12", 8)});
    answer(std::string("\x01\x03\x40", 3));
    replyTicks(6);
    EXPECT_TRUE(decodedSteps.empty()) << "collected until the deadline";
    replyTick();
    EXPECT_EQ(writes().back(), std::string("\x01\x01\x00\x00\x00\x08\x3D\xCC", 8));
    noAnswer();
    EXPECT_EQ(decodedReplies, (Strings{std::string("\x01\x03\x40", 3), ""}));
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DC", "Read OK", "Read DO", "Read OK"}));
}

TEST_F(PollCycle, UntickingOutputsWhileInputsAreReadEndsTheCycleAfterThem) {
    setBoxes(0, 1, 1);
    tickRead(5);
    boxes[2] = 0;
    answer(kInputReply);
    EXPECT_EQ(writes(), Strings{"#01RDI\r"});
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(CommandDispatch, CommandWhileIdleGoesAtOnceKeepsEarlierInputAndNoReadFollows) {
    counterSelector = 3;
    port.Receive("CCT>");
    queueCommand(1, "#01CCT3\r");
    EXPECT_EQ(writes(), Strings{"#01CCT3\r"});
    EXPECT_EQ(state.PollStep, 1);
    EXPECT_EQ(state.PendingCommand, 0);
    EXPECT_EQ(lastStatus(), "Clear DC #3");
    EXPECT_NEAR(state.ReplyDeadline, NowStamp(clock) + 0.3 * OneSecond, 1e-9);
    answer("OK\r");
    EXPECT_EQ(decodedReplies, Strings{"CCT>OK\r"}) << "a command does not flush input";
    EXPECT_EQ(decodedSteps, Steps{1});
    EXPECT_EQ(lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 1u);
    EXPECT_EQ(busyClears, 1);
}

TEST_F(CommandDispatch, CommandWhileInputsAreReadGoesAfterTheirReplyAndTheOutputsFollow) {
    setBoxes(0, 1, 1);
    tickRead(5);
    counterSelector = 3;
    queueCommand(1, "#01CCT3\r");
    counterSelector = 5;
    EXPECT_EQ(writes(), Strings{"#01RDI\r"});
    EXPECT_EQ(state.PendingCommand, 1);
    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RDI\r", "#01CCT3\r"})) << "the frame built at the click";
    EXPECT_EQ(state.PollStep, 21);
    EXPECT_EQ(state.PendingCommand, 0);
    EXPECT_EQ(busyClears, 0) << "the busy markers stay while the command is on the line";
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DI", "Read OK", "Clear DC #5"}))
        << "the text reads the selector when the command goes out";
    answer("CCT>OK\r");
    EXPECT_EQ(decodedSteps, (Steps{20, 21}));
    EXPECT_EQ(busyClears, 1);
    EXPECT_EQ(writes().back(), "#01RDO\r");
    EXPECT_EQ(state.PollStep, 30);
    answer(kOutputReply);
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(CommandDispatch, CommandWaitingAtATimeoutIsStillSentThenTheCycleEnds) {
    setBoxes(1, 1, 0);
    tickRead(0);
    state.OutputState[0] = 1;
    queueCommand(3, "#01WDO1,1\r");
    replyTicks(8);
    EXPECT_EQ(writes().back(), "#01WDO1,1\r");
    EXPECT_EQ(state.PollStep, 113) << "timeout adds 100 to the counter read, then the command";
    EXPECT_EQ(statuses.back(), "Write DO #1");
    EXPECT_FALSE(readTicked) << "a single read that timed out unticks Read";
    answer("DO>OK\r");
    EXPECT_EQ(lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 2u) << "no input read after the timeout";
}

TEST_F(CommandDispatch, CommandKeptInTheSlotByAClosedLineGoesBeforeTheNextCycle) {
    setBoxes(1, 0, 0);
    lineOpen = false;
    state.OutputState[0] = 2;
    queueCommand(3, "#01WDO2,1\r");
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(state.PendingCommand, 3);
    EXPECT_EQ(state.PendingFrame, "#01WDO2,1\r");
    EXPECT_EQ(state.PollStep, 0);
    lineOpen = true;
    tickRead(5);
    EXPECT_EQ(writes(), Strings{"#01WDO2,1\r"});
    EXPECT_EQ(lastStatus(), "Write DO #2");
    answer("DO>OK\r");
    EXPECT_EQ(writes(), (Strings{"#01WDO2,1\r", "#01RCT\r"})) << "polling is not stuck behind it";
}

}  // namespace
}  // namespace tally::testing
