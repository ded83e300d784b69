// One request on the line at any time, whatever order ticks and clicks come in
// (every rig checks this at each write); a port that fails is never polled again.
#include <random>

#include "engine_fixture.h"

namespace tally::testing {
namespace {

using OneRequest = EngineTest;

TEST_F(OneRequest, CycleTickWhileAReadIsOnTheLineWaitsForTheCycleInProgress) {
    setBoxes(1, 1, 0);
    tickRead(1);
    tmrNow.Fire();
    EXPECT_EQ(state.PollStep, 10);
    EXPECT_FALSE(tmrNow.Enabled());
    answer(kCounterReply);
    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RDI\r", "#01RCT\r"}))
        << "the deferred tick starts the next cycle once the line is free";
    EXPECT_TRUE(tmrNow.Enabled());
}

TEST_F(OneRequest, CycleTickWhileACommandIsOnTheLineKeepsItsUnitsDigit) {
    setBoxes(1, 0, 0);
    tickRead(5);
    queueCommand(4, "#01RRTC\r");
    answer(kCounterReply);
    ASSERT_EQ(state.PollStep, 14);
    engine.tmrNow_Timer();
    EXPECT_EQ(state.PollStep, 14);
    answer("RTC>A5\r");
    EXPECT_EQ(decodedSteps.back(), 14);
    EXPECT_EQ(statuses[statuses.size() - 3], "Read DC Status OK");
    EXPECT_EQ(writes().back(), "#01RCT\r");
}

TEST_F(OneRequest, ReadTickedWhileACommandIsOnTheLineRestartsTheCycleAfterItsReply) {
    setBoxes(1, 1, 1);
    tickRead(5);
    answer(kCounterReply);
    queueCommand(3, "#01WDO1,1\r");
    answer(kInputReply);
    ASSERT_EQ(state.PollStep, 23);
    readTicked = false;
    tickRead(7);
    EXPECT_EQ(state.PollStep, 23);
    EXPECT_EQ(tmrNow.Interval(), 7000);
    answer("DO>OK\r");
    EXPECT_EQ(writes().size(), 4u);
    EXPECT_EQ(writes().back(), "#01RCT\r") << "the new cycle starts from the counters";
    EXPECT_EQ(state.PollStep, 10);
}

TEST(OneRequestSingleRead, TickedAgainWhileItsRequestIsAnsweredOrTimesOutReadsOnceMore) {
    for (const bool timeout : {false, true}) {
        SCOPED_TRACE(timeout ? "timed out" : "answered");
        Rig r;
        r.setBoxes(1, 0, 0);
        r.tickRead(0);
        r.readTicked = false;
        r.tickRead(0);
        EXPECT_EQ(r.writes().size(), 1u);
        timeout ? r.replyTicks(8) : r.answer(kCounterReply);
        EXPECT_EQ(r.writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
        EXPECT_TRUE(r.readTicked);
        r.answer(kCounterReply);
        EXPECT_EQ(r.state.PollStep, 1000);
        EXPECT_FALSE(r.readTicked);
        EXPECT_EQ(r.writes().size(), 2u);
    }
}

TEST_F(OneRequest, ReadTickedThenUntickedWhileBusyLetsTheCycleRunToItsEnd) {
    setBoxes(1, 1, 0);
    tickRead(5);
    tickRead(5);
    readTicked = false;
    answer(kCounterReply);
    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RDI\r"}));
}

TEST_F(OneRequest, CommandClickedWhileAReplyIsDecodedWaitsForThatReplyTick) {
    setBoxes(1, 1, 0);
    tickRead(5);
    onDecode = [this] {
        onDecode = nullptr;
        queueCommand(1, "#01CCT2\r");
        EXPECT_EQ(writes().size(), 1u);
    };
    answer(kCounterReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01CCT2\r"}));
    EXPECT_EQ(state.PollStep, 11);
}

// Everything that can happen between two ticks, in random order, including the
// enable dialog (Read off, events run, Read restored) inside the decoder.
TEST(OneRequestRandom, NoInterleavingPutsTwoRequestsOnTheLine) {
    for (unsigned seed = 1; seed <= 300 && !::testing::Test::HasFailure(); ++seed) {
        SCOPED_TRACE(seed);
        Rig r;
        std::mt19937 random(seed);
        auto chance = [&](int percent) {
            return std::uniform_int_distribution<int>(0, 99)(random) < percent;
        };
        r.setBoxes(chance(60), chance(60), chance(60));
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
            [&] {
                if (r.state.PendingCommand == 0) r.queueCommand(3, "#01WDO0,FF\r");
            },
            [&] { r.port.Receive(chance(80) ? "OK\r" : "OK"); },
            [&] { r.boxes[static_cast<std::size_t>(random() % 3)] ^= 1; },
            [&] { r.clock.Advance(chance(10) ? 1.0 : 0.3); },
            [&] { r.replyTick(); }};
        for (int step = 0; step < 200 && !::testing::Test::HasFailure(); ++step) {
            actions[std::min(std::uniform_int_distribution<int>(0, 10)(random), 8)]();
            EXPECT_TRUE(r.tmrRead.Enabled() || r.settled() == r.requests) << "open, timer off";
        }
        // Whatever state that left, a single read ticked now still happens once.
        r.onDecode = [&] { r.checkUnits(); };
        r.setBoxes(1, 0, 0);
        const auto before = static_cast<std::ptrdiff_t>(r.writes().size());
        r.tickRead(0);
        for (int i = 0; i < 200 && r.tmrRead.Enabled(); ++i)
            r.answer("OK\r");
        EXPECT_NE(std::find(r.writes().begin() + before, r.writes().end(), "#01RCT\r"),
                  r.writes().end());
        EXPECT_FALSE(r.readTicked);
        EXPECT_EQ(r.state.PollStep, 1000);
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
        SCOPED_TRACE(row.lastStatus);
        Rig r;
        r.setBoxes(1, 1, 0);
        if (row.afterFirstRead) r.tickRead(1);
        (row.input ? r.port.failInput : r.port.failOutput) = "No such device";
        if (row.command) {
            r.queueCommand(1, "#01CCT2\r");
        } else {
            row.afterFirstRead ? r.answer(kCounterReply) : r.tickRead(5);
        }
        EXPECT_EQ(r.failures, Strings{"No such device"});
        EXPECT_FALSE(r.tmrRead.Enabled());
        EXPECT_FALSE(r.tmrNow.Enabled());
        EXPECT_EQ(r.state.PendingCommand, 0);
        EXPECT_EQ(r.state.PollStep % 10, 0) << "a command never sent leaves no units digit";
        r.engine.tmrNow_Timer();
        r.tmrRead.Fire();
        EXPECT_EQ(r.writes(), row.writes);
        EXPECT_EQ(r.lastStatus(), row.lastStatus);
    }
}

}  // namespace
}  // namespace tally::testing
