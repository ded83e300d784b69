// The poll cycle, reply collection and timeouts, the one-slot command queue, one
// request on the line whatever order ticks and clicks come in, and port failures.
#include <random>

#include "engine_fixture.h"

namespace tally::testing {
namespace {

using PollCycle = EngineTest;
using CommandDispatch = EngineTest;
using OneRequest = EngineTest;

TEST_F(PollCycle, SingleCycleReadsTheBoxesTickedAtEachStepThenUnticksRead) {
    boxes = {1, 1, 1};
    state.StationHex = "1F";
    tickRead(0);
    answer(kCounterReply);
    boxes[2] = 0;  // DO unticked while the input read is on the line
    answer(kInputReply);
    EXPECT_EQ(port.writes, (Strings{"#1FRCT\r", "#1FRDI\r"}));
    EXPECT_EQ(decodedSteps, (Steps{10, 20}));
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DC", "Read OK", "Read DI", "Read OK"}));
    EXPECT_EQ(state.PollStep, 1000);
    EXPECT_EQ(unticks, 1);
    tickRead(0);
    EXPECT_EQ(state.PollStep, 10) << "ticked again, it starts over from the counters";
    EXPECT_EQ(port.writes.back(), "#1FRCT\r");
}

TEST_F(PollCycle, TimeoutEvenAcrossMidnightEndsTheCycleAndTheNextCycleTickReadsAgain) {
    boxes = {1, 1, 0};
    port.Receive("late junk\r");
    clock.Set(45000, 86400.0 - 0.1);
    tickRead(5);
    EXPECT_EQ(replyTicks(), 8) << "0.28 s is in time, 0.32 s is late";
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_EQ(statuses, (Strings{"Read Value", "Read DC", "Time Out"}));
    EXPECT_EQ(state.PollStep, 0);
    tmrNow.Fire();
    answer(kCounterReply);
    answer(kInputReply);
    EXPECT_EQ(port.writes, (Strings{"#01RCT\r", "#01RCT\r", "#01RDI\r"}));
    EXPECT_EQ(decodedReplies, (Strings{kCounterReply, kInputReply})) << "old input is flushed";
    readTicked = false;
    tmrNow.Fire();
    EXPECT_FALSE(tmrNow.Enabled()) << "a cycle tick with Read unticked stops the timer";
    EXPECT_EQ(port.writes.size(), 3u);
}

TEST(PollCycleTimer, IntervalIsTheReadIntervalKeptWithinZeroToSixtySeconds) {
    const struct { int seconds, ms; } rows[] = {{5, 5000}, {60, 60000}, {75, 60000}, {-3, 0}};
    for (const auto& row : rows) {
        Rig r;
        r.boxes = {1, 0, 0};
        r.tickRead(row.seconds);
        EXPECT_EQ(r.tmrNow.Interval(), row.ms) << row.seconds;
        EXPECT_EQ(r.tmrNow.Enabled(), row.ms > 0) << row.seconds;
    }
}

TEST(PollCycleReply, IsCompleteOnItsProtocolsTerminatorUpToAndOnTheDeadlineTick) {
    const struct {
        int protocol;
        Strings pieces;  // one per reply tick
        bool lastOnDeadline;
        const char* decoded;  // null: timed out
    } rows[] = {{0, {">0010,", "000A,", "FFFF\r"}, false, ">0010,000A,FFFF\r"},
                {0, {">0001\r\n"}, false, nullptr},
                {0, {">0001\r"}, true, ">0001\r"},
                {0, {">0001"}, true, nullptr},
                {1, {":01020105F7\r", "\n"}, false, ":01020105F7\r\n"},
                {2, {"\x01\x03", "\x40"}, true, "\x01\x03\x40"},  // RTU: what came by then
                {2, {""}, true, ""}};                             // RTU silence: no timeout
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Rig r;
        r.state.ProtocolIndex = static_cast<std::int16_t>(row.protocol);
        r.boxes = {1, 0, 0};
        r.tickRead(5);
        const double sent = r.clock.SecondsSinceMidnight();
        for (std::size_t i = 0; i + 1 < row.pieces.size(); ++i)
            r.answer(row.pieces[i]);
        EXPECT_TRUE(r.decodedSteps.empty());
        r.port.Receive(row.pieces.back());
        const double now = r.clock.SecondsSinceMidnight() + 0.04;
        r.clock.Set(45000, row.lastOnDeadline ? sent + static_cast<double>(0.3f) : now);
        ASSERT_EQ(r.state.ReplyDeadline <= NowStamp(r.clock), row.lastOnDeadline);
        r.tmrRead.Fire();
        EXPECT_TRUE(!row.lastOnDeadline || !r.tmrRead.Enabled()) << "decided on that tick";
        r.replyTicks();
        EXPECT_EQ(r.decodedReplies, row.decoded ? Strings{row.decoded} : Strings{});
        EXPECT_EQ(r.lastStatus(), row.decoded ? "Read OK" : "Time Out");
    }
}

TEST_F(CommandDispatch, CommandWhileIdleGoesAtOnceKeepsEarlierInputAndNoReadFollows) {
    counterSelector = 3;
    port.Receive("CCT>");
    queueCommand(1, "#01CCT3\r");
    EXPECT_EQ(state.PollStep, 1);
    EXPECT_EQ(lastStatus(), "Clear DC #3");
    answer("OK\r");
    EXPECT_EQ(decodedReplies, Strings{"CCT>OK\r"}) << "a command does not flush input";
    EXPECT_EQ(lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(port.writes, Strings{"#01CCT3\r"});
}

TEST_F(CommandDispatch, CommandWhileInputsAreReadGoesAfterTheirReplyAndTheOutputsFollow) {
    boxes = {0, 1, 1};
    tickRead(5);
    counterSelector = 3;
    queueCommand(1, "#01CCT3\r");
    counterSelector = 5;
    answer(kInputReply);
    EXPECT_EQ(port.writes, (Strings{"#01RDI\r", "#01CCT3\r"})) << "the frame built at the click";
    EXPECT_EQ(state.PollStep, 21);
    EXPECT_EQ(busyClears, 0) << "the busy markers stay while the command is on the line";
    EXPECT_EQ(statuses.back(), "Clear DC #5") << "the selector is read when the command goes";
    answer("CCT>OK\r");
    EXPECT_EQ(busyClears, 1);
    EXPECT_EQ(port.writes.back(), "#01RDO\r");
    answer(">10000001\r");
    EXPECT_EQ(decodedSteps, (Steps{20, 21, 30}));
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(CommandDispatch, CommandWaitingAtASingleReadsTimeoutIsStillSentThenTheCycleEnds) {
    boxes = {1, 1, 0};
    tickRead(0);
    state.OutputState[0] = 1;
    queueCommand(3, "#01WDO1,1\r");
    port.Receive(">0000");
    replyTicks(8);
    EXPECT_EQ(port.writes.back(), "#01WDO1,1\r");
    EXPECT_EQ(state.PollStep, 113) << "timeout adds 100 to the counter read, then the command";
    EXPECT_EQ(statuses.back(), "Write DO #1");
    EXPECT_EQ(unticks, 1) << "a single read that timed out unticks Read";
    answer("DO>OK\r");
    EXPECT_EQ(decodedReplies, Strings{"DO>OK\r"}) << "the partial reply is dropped";
    EXPECT_EQ(lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(port.writes.size(), 2u) << "no input read after the timeout";
}

TEST_F(CommandDispatch, CommandKeptInTheSlotByAClosedLineGoesBeforeTheNextCycle) {
    boxes = {1, 0, 0};
    lineOpen = false;
    state.OutputState[0] = 2;
    queueCommand(3, "#01WDO2,1\r");
    EXPECT_TRUE(port.writes.empty());
    lineOpen = true;
    tickRead(5);
    EXPECT_EQ(port.writes, Strings{"#01WDO2,1\r"});
    EXPECT_EQ(lastStatus(), "Write DO #2");
    answer("DO>OK\r");
    EXPECT_EQ(port.writes, (Strings{"#01WDO2,1\r", "#01RCT\r"})) << "polling is not stuck";
}

TEST_F(OneRequest, CommandClickedInADecodeAndCycleTickDuringTheCommandWaitTheirTurn) {
    boxes = {1, 0, 0};
    tickRead(5);
    onDecode = [this] {
        onDecode = nullptr;
        queueCommand(4, "#01RRTC\r");
        EXPECT_EQ(port.writes.size(), 1u) << "not while the reply tick runs";
    };
    answer(kCounterReply);
    EXPECT_EQ(port.writes.back(), "#01RRTC\r");
    tmrNow.Fire();
    EXPECT_EQ(state.PollStep, 14);
    EXPECT_FALSE(tmrNow.Enabled());
    answer("RTC>A5\r");
    EXPECT_EQ(statuses[statuses.size() - 3], "Read DC Status OK");
    EXPECT_EQ(port.writes.back(), "#01RCT\r") << "the deferred cycle starts once the line is free";
    EXPECT_TRUE(tmrNow.Enabled());
}

TEST(OneRequestRestart, ReadTickedAnewWhileACommandIsOnTheLineRestartsAfterItsReply) {
    for (const bool untickedAgain : {false, true}) {
        SCOPED_TRACE(untickedAgain);
        Rig r;
        r.boxes = {1, 1, 1};
        r.tickRead(5);
        r.answer(kCounterReply);
        r.queueCommand(3, "#01WDO1,1\r");
        r.answer(kInputReply);
        r.readTicked = false;
        r.tickRead(7);
        r.readTicked = !untickedAgain;
        EXPECT_EQ(r.tmrNow.Interval(), 7000);
        r.answer("DO>OK\r");
        EXPECT_EQ(r.port.writes.size(), 4u);
        EXPECT_EQ(r.port.writes.back(), untickedAgain ? "#01RDO\r" : "#01RCT\r")
            << "a restart begins with the counters; unticked, the cycle runs to its end";
    }
}

TEST(OneRequestSingleRead, TickedAgainWhileItsRequestIsAnsweredOrTimesOutReadsOnceMore) {
    for (const bool timeout : {false, true}) {
        SCOPED_TRACE(timeout);
        Rig r;
        r.boxes = {1, 0, 0};
        r.tickRead(0);
        r.readTicked = false;
        r.tickRead(0);
        if (!timeout) r.port.Receive(kCounterReply);
        r.replyTicks(timeout ? 8 : 1);
        EXPECT_EQ(r.port.writes, (Strings{"#01RCT\r", "#01RCT\r"}));
        EXPECT_TRUE(r.readTicked);
        r.answer(kCounterReply);
        EXPECT_EQ(r.state.PollStep, 1000);
        EXPECT_FALSE(r.readTicked);
    }
}

// Everything that can happen between two ticks, in random order, including the
// enable dialog (Read off, events run, Read restored) inside the decoder.
TEST(OneRequestRandom, NoInterleavingPutsTwoRequestsOnTheLineOrStopsReading) {
    for (unsigned seed = 1; seed <= 300 && !::testing::Test::HasFailure(); ++seed) {
        SCOPED_TRACE(seed);
        Rig r;
        std::mt19937 random(seed);
        auto chance = [&](unsigned percent) { return random() % 100 < percent; };
        r.boxes = {chance(60), chance(60), chance(60)};
        r.onDecode = [&] {
            r.checkUnits();
            if (!chance(30)) return;
            const bool wasTicked = r.readTicked;
            r.UntickRead();
            if (chance(50)) r.engine.tmrNow_Timer();
            if (chance(30)) r.queueCommand(1 + chance(50), "#01CCT0\r");
            if (wasTicked) r.tickRead(chance(50) ? 0 : 1);
        };
        const std::function<void()> actions[] = {
            [&] { r.tmrNow.Fire(); },
            [&] { r.engine.tmrNow_Timer(); },  // a tick already queued
            [&] { r.readTicked = false; },
            [&] { r.tickRead(chance(50) ? 0 : 1); },
            [&] { r.queueCommand(3, "#01WDO0,FF\r"); },
            [&] { r.port.Receive(chance(80) ? "OK\r" : "OK"); },
            [&] { r.boxes[random() % 3] ^= 1; },
            [&] { r.clock.Advance(chance(10) ? 1.0 : 0.3); },
            [&] { r.replyTick(); }};
        for (int step = 0; step < 200 && !::testing::Test::HasFailure(); ++step) {
            actions[std::min<unsigned>(random() % 11, 8)]();
            EXPECT_TRUE(r.tmrRead.Enabled() || r.settled() == r.requests) << "open, timer off";
        }
        // Whatever state that left, a single read ticked now still happens once.
        r.onDecode = [&] { r.checkUnits(); };
        r.boxes = {1, 0, 0};
        r.tickRead(0);
        for (int i = 0; i < 200 && r.tmrRead.Enabled(); ++i)
            r.answer("OK\r");
        EXPECT_EQ(r.port.writes.back(), "#01RCT\r");
        EXPECT_EQ(r.state.PollStep, 1000) << "and Read unticked";
    }
}

TEST(PortFailure, ReportsTheReasonStopsBothTimersAndWritesNothingMore) {
    const struct {
        bool command, input, afterFirstRead;
        Strings writes;
        const char* lastStatus;  // no caption for a request that never went out
    } rows[] = {{false, true, true, {"#01RCT\r"}, "Read DC"},
                {false, false, true, {"#01RCT\r"}, "Read OK"},
                {false, true, false, {}, "Read Value"},
                {true, false, false, {}, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Rig r;
        r.boxes = {1, 1, 0};
        if (row.afterFirstRead) r.tickRead(1);
        (row.input ? r.port.failInput : r.port.failOutput) = "No such device";
        row.command          ? r.queueCommand(1, "#01CCT2\r")
        : row.afterFirstRead ? r.answer(kCounterReply)
                             : r.tickRead(5);
        EXPECT_EQ(r.failures, Strings{"No such device"});
        EXPECT_FALSE(r.tmrRead.Enabled());
        EXPECT_FALSE(r.tmrNow.Enabled());
        EXPECT_EQ(r.state.PollStep % 10, 0) << "a command never sent leaves no units digit";
        r.engine.tmrNow_Timer();
        r.tmrRead.Fire();
        EXPECT_EQ(r.port.writes, row.writes);
        EXPECT_EQ(r.lastStatus(), row.lastStatus);
    }
}

}  // namespace
}  // namespace tally::testing
