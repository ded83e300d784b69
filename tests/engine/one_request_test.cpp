// One request on the line at any time, whatever order ticks and clicks come in;
// and a port that vanishes is never polled again.
#include <random>

#include "engine_fixture.h"

namespace tally::testing {
namespace {

using Strings = std::vector<std::string>;

// Counts requests and the reply ticks that settle them (decoded or timed out),
// and checks at every write that the request before it has been settled.
class OneRequest : public EngineTest {
  protected:
    OneRequest() {
        port.onWrite = [this](const std::string&) {
            EXPECT_EQ(settled(), requests)
                << "a write while request " << requests << " is unsettled";
            ++requests;
            unitsInFlight = state.PollStep % 10;
        };
        host.onDecode = [this] { checkUnits(); };
    }

    int settled() const {
        int timeouts = 0;
        for (const auto& s : host.statuses)
            timeouts += s == "Time Out";
        return static_cast<int>(host.decodedSteps.size()) + timeouts;
    }

    void checkUnits() {
        EXPECT_EQ(state.PollStep % 10, unitsInFlight)
            << "the units digit of the request in flight changed";
    }

    int requests = 0;
    int unitsInFlight = 0;
};

TEST_F(OneRequest, CycleTimerTickWhileAReadIsOnTheLineSendsNothingAndWaitsForTheCycle) {
    setBoxes(1, 1, 0);
    tickRead(1);
    tmrNow.Fire();
    EXPECT_EQ(writes(), Strings{"#01RCT\r"});
    EXPECT_EQ(state.PollStep, 10);
    EXPECT_FALSE(tmrNow.Enabled());

    answer(kCounterReply);
    EXPECT_EQ(writes().back(), "#01RDI\r") << "the cycle in progress goes on";
    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RDI\r", "#01RCT\r"}))
        << "the deferred tick starts the next cycle once the line is free";
    EXPECT_TRUE(tmrNow.Enabled());
}

TEST_F(OneRequest, CycleTimerTickWhileACommandIsOnTheLineKeepsItsUnitsDigit) {
    setBoxes(1, 0, 0);
    tickRead(5);
    queueCommand(1, "#01CCT0\r");
    answer(kCounterReply);
    ASSERT_EQ(state.PollStep, 11);
    engine.tmrNow_Timer();
    EXPECT_EQ(state.PollStep, 11);
    EXPECT_EQ(writes().size(), 2u);
    answer("CCT>OK\r");
    EXPECT_EQ(host.decodedSteps.back(), 11);
    EXPECT_EQ(host.statuses[host.statuses.size() - 3], "Write OK");
    EXPECT_EQ(writes().back(), "#01RCT\r");
}

TEST_F(OneRequest, ReadTickedWhileACommandIsOnTheLineRestartsTheCycleAfterItsReply) {
    setBoxes(1, 1, 1);
    tickRead(5);
    answer(kCounterReply);
    queueCommand(3, "#01WDO1,1\r");
    answer(kInputReply);
    ASSERT_EQ(state.PollStep, 23);
    host.readTicked = false;
    tickRead(7);
    EXPECT_EQ(state.PollStep, 23);
    EXPECT_EQ(writes().size(), 3u);
    EXPECT_EQ(tmrNow.Interval(), 7000);

    answer("DO>OK\r");
    EXPECT_EQ(host.lastStatus(), "Read DC");
    EXPECT_EQ(writes().back(), "#01RCT\r") << "the new cycle starts from the counters";
    EXPECT_EQ(state.PollStep, 10);
}

TEST_F(OneRequest, SingleReadTickedWhileARequestIsInFlightStillReadsOnce) {
    setBoxes(1, 0, 0);
    tickRead(0);
    host.readTicked = false;  // the operator unticks and ticks again
    tickRead(0);
    EXPECT_EQ(writes().size(), 1u);
    answer(kCounterReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
    EXPECT_TRUE(host.readTicked);
    answer(kCounterReply);
    EXPECT_EQ(state.PollStep, 1000);
    EXPECT_FALSE(host.readTicked);
    EXPECT_EQ(writes().size(), 2u);
}

TEST_F(OneRequest, SingleReadTickedWhileARequestTimesOutStillReadsOnce) {
    setBoxes(1, 0, 0);
    tickRead(0);
    tickRead(0);
    letDeadlinePass();
    EXPECT_EQ(host.statuses[2], "Time Out");
    EXPECT_TRUE(host.readTicked);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RCT\r"}));
}

TEST_F(OneRequest, ReadTickedAndUntickedAgainWhileBusyLetsTheCycleRunToItsEnd) {
    setBoxes(1, 1, 0);
    tickRead(5);
    tickRead(5);
    host.readTicked = false;
    answer(kCounterReply);
    EXPECT_EQ(writes().back(), "#01RDI\r");
    answer(kInputReply);
    EXPECT_EQ(writes().size(), 2u);
}

TEST_F(OneRequest, EnableDialogRestoringReadInsideTheDecoderPutsOneReadOnTheLine) {
    setBoxes(1, 1, 0);
    tickRead(5);
    queueCommand(4, "#01RRTC\r");
    answer(kCounterReply);
    ASSERT_EQ(state.PollStep, 14);
    host.onDecode = [this] {
        checkUnits();
        if (state.PollStep % 10 != 4) return;
        const bool wasTicked = host.readTicked;
        host.UntickRead();
        // While the dialog is open the cycle timer keeps ticking.
        engine.tmrNow_Timer();
        clock.Advance(5.0);
        engine.tmrNow_Timer();
        EXPECT_EQ(writes().size(), 2u);
        if (wasTicked) tickRead(5);
        EXPECT_EQ(writes().size(), 2u);
        EXPECT_EQ(state.PollStep, 14);
    };
    answer("RTC>A5\r");
    EXPECT_EQ(Strings(host.statuses.end() - 3, host.statuses.end()),
              (Strings{"Read DC Status OK", "Read Value", "Read DC"}));
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01RRTC\r", "#01RCT\r"}));
    EXPECT_EQ(state.PollStep, 10);
    EXPECT_TRUE(tmrRead.Enabled());
    EXPECT_TRUE(tmrNow.Enabled());
}

TEST_F(OneRequest, CommandClickedWhileTheReplyIsBeingDecodedWaitsForThatReplyTick) {
    setBoxes(1, 1, 0);
    tickRead(5);
    host.onDecode = [this] {
        host.onDecode = nullptr;
        queueCommand(1, "#01CCT2\r");
        EXPECT_EQ(writes().size(), 1u);
    };
    answer(kCounterReply);
    EXPECT_EQ(writes(), (Strings{"#01RCT\r", "#01CCT2\r"}));
    EXPECT_EQ(state.PollStep, 11);
}

// Everything that can happen between two ticks, in random order.
TEST_F(OneRequest, NoTickInterleavingPutsTwoRequestsOnTheLine) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        MainState fresh;
        fresh.StationHex = "01";
        state = fresh;
        port.writes.clear();
        port.received.clear();
        tmrRead.SetEnabled(false);
        tmrNow.SetEnabled(false);
        host.statuses.clear();
        host.decodedSteps.clear();
        host.decodedReplies.clear();
        host.readTicked = false;
        requests = 0;
        std::mt19937 random(seed);
        auto chance = [&](int percent) {
            return std::uniform_int_distribution<int>(0, 99)(random) < percent;
        };
        setBoxes(chance(60), chance(60), chance(60));
        host.onDecode = [&] {
            checkUnits();
            if (!chance(30)) return;
            // The enable dialog: "Read" off, events run, "Read" restored.
            const bool wasTicked = host.readTicked;
            host.UntickRead();
            if (chance(50)) engine.tmrNow_Timer();
            if (chance(30)) queueCommand(1 + chance(50), "#01CCT0\r");
            if (wasTicked) tickRead(chance(50) ? 0 : 1);
        };

        for (int step = 0; step < 200 && !HasFailure(); ++step) {
            switch (std::uniform_int_distribution<int>(0, 9)(random)) {
                case 0:
                    tmrNow.Fire();
                    break;
                case 1:
                    engine.tmrNow_Timer();
                    break;  // a tick already queued
                case 2:
                    if (host.readTicked && chance(50)) {
                        host.readTicked = false;
                    } else {
                        tickRead(chance(50) ? 0 : 1);
                    }
                    break;
                case 3:
                    if (state.PendingCommand == 0) {
                        state.OutputState[0] = 255;
                        queueCommand(3, "#01WDO0,FF\r");
                    }
                    break;
                case 4:
                    port.Receive(chance(80) ? "OK\r" : "OK");
                    break;
                case 5:
                    host.boxes[static_cast<std::size_t>(step % 3)] ^= 1;
                    break;
                case 6:
                    clock.Advance(chance(10) ? 1.0 : 0.3);
                    break;
                default:
                    replyTick();
                    break;
            }
            if (!tmrRead.Enabled()) {
                EXPECT_EQ(settled(), requests) << "a request is unsettled with the reply timer off";
            }
        }
        host.onDecode = [this] { checkUnits(); };

        // Whatever state that left, a single read ticked now still happens once.
        setBoxes(1, 0, 0);
        const std::size_t before = writes().size();
        tickRead(0);
        for (int i = 0; i < 200 && tmrRead.Enabled(); ++i)
            answer("OK\r");
        bool counterRead = false;
        for (std::size_t i = before; i < writes().size(); ++i)
            counterRead |= writes()[i] == "#01RCT\r";
        EXPECT_TRUE(counterRead);
        EXPECT_FALSE(host.readTicked);
        EXPECT_EQ(state.PollStep, 1000);
        if (HasFailure()) break;
    }
}

TEST_F(OneRequest, PortVanishingWhileAReplyIsAwaitedStopsPolling) {
    setBoxes(1, 1, 0);
    tickRead(1);
    port.failInput = "Resource temporarily unavailable";
    replyTick();
    EXPECT_EQ(host.failures, Strings{"Resource temporarily unavailable"});
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_FALSE(tmrNow.Enabled());
    engine.tmrNow_Timer();
    tmrRead.Fire();
    EXPECT_EQ(writes(), Strings{"#01RCT\r"});
}

TEST_F(OneRequest, PortVanishingOnTheNextReadStopsPolling) {
    setBoxes(1, 1, 0);
    tickRead(1);
    port.failOutput = "No such device";
    answer(kCounterReply);
    EXPECT_EQ(host.failures, Strings{"No such device"});
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_FALSE(tmrNow.Enabled());
    EXPECT_EQ(host.lastStatus(), "Read OK") << "no caption for a read that never went out";
}

TEST_F(OneRequest, PortVanishingBeforeTheFirstReadStopsTheCycleTimer) {
    setBoxes(1, 0, 0);
    port.failInput = "No such device";
    tickRead(5);
    EXPECT_EQ(host.failures, Strings{"No such device"});
    EXPECT_TRUE(writes().empty());
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_FALSE(tmrNow.Enabled());
}

TEST_F(OneRequest, PortVanishingUnderACommandDropsItWithoutAStatus) {
    host.counterSelector = 2;
    port.failOutput = "Input/output error";
    queueCommand(1, "#01CCT2\r");
    EXPECT_EQ(host.failures, Strings{"Input/output error"});
    EXPECT_FALSE(tmrRead.Enabled());
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(state.PendingCommand, 0);
    EXPECT_TRUE(host.statuses.empty());
}

}  // namespace
}  // namespace tally::testing
