// The one-slot command queue: when a command goes out and what it announces.
#include "engine_fixture.h"

namespace tally::testing {
namespace {

using Strings = std::vector<std::string>;

class CommandDispatch : public EngineTest {};

TEST_F(CommandDispatch, CommandWhileIdleGoesAtOnceAndNoReadFollows) {
    host.counterSelector = 3;
    queueCommand(1, "#01CCT3\r");
    EXPECT_EQ(writes(), Strings{"#01CCT3\r"});
    EXPECT_EQ(state.PollStep, 1);
    EXPECT_EQ(state.PendingCommand, 0);
    EXPECT_EQ(host.lastStatus(), "Clear DC #3");
    EXPECT_TRUE(tmrRead.Enabled());
    EXPECT_NEAR(state.ReplyDeadline, NowStamp(clock) + 0.3 * OneSecond, 1e-9);

    answer("CCT>OK\r");
    EXPECT_EQ(host.decodedSteps, std::vector<int>{1});
    EXPECT_EQ(host.lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 1u);
    EXPECT_EQ(host.busyClears, 1);
}

TEST_F(CommandDispatch, CommandDoesNotEmptyTheReceiveBufferFirst) {
    port.Receive("DO>");
    queueCommand(3, "#01WDO5,1\r");
    answer("OK\r");
    EXPECT_EQ(host.decodedReplies, Strings{"DO>OK\r"});
}

TEST_F(CommandDispatch, CommandWhileInputsAreReadGoesAfterTheirReplyAndTheOutputsFollow) {
    setBoxes(0, 1, 1);
    tickRead(5);
    state.OutputState[0] = 5;
    queueCommand(3, "#01WDO5,1\r");
    EXPECT_EQ(writes(), Strings{"#01RDI\r"}) << "the input read is still on the line";
    EXPECT_EQ(state.PendingCommand, 3);
    EXPECT_EQ(state.PollStep, 20);

    answer(kInputReply);
    EXPECT_EQ(writes(), (Strings{"#01RDI\r", "#01WDO5,1\r"}));
    EXPECT_EQ(state.PollStep, 23);
    EXPECT_EQ(state.PendingCommand, 0);
    EXPECT_EQ(host.busyClears, 0) << "the busy markers stay while the command is on the line";
    EXPECT_EQ(host.statuses, (Strings{"Read Value", "Read DI", "Read OK", "Write DO #5"}));

    answer("DO>OK\r");
    EXPECT_EQ(host.decodedSteps, (std::vector<int>{20, 23}));
    EXPECT_EQ(host.busyClears, 1);
    EXPECT_EQ(writes().back(), "#01RDO\r");
    EXPECT_EQ(state.PollStep, 30);
    answer(kOutputReply);
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(host.statuses.back(), "Read OK");
}

TEST_F(CommandDispatch, EnableFlagReadBetweenTwoReadsReportsItsOwnSuccess) {
    setBoxes(1, 1, 0);
    tickRead(5);
    queueCommand(4, "#01RRTC\r");
    answer(kCounterReply);
    EXPECT_EQ(writes().back(), "#01RRTC\r");
    EXPECT_EQ(host.lastStatus(), "Read DC Status");
    answer("RTC>A5\r");
    EXPECT_EQ(host.statuses.back(), "Read DI");
    EXPECT_EQ(host.statuses[host.statuses.size() - 2], "Read DC Status OK");
}

TEST_F(CommandDispatch, TimedOutCommandIsNotRepeatedAndAbandonsTheCycle) {
    setBoxes(1, 1, 0);
    tickRead(5);
    queueCommand(2, "#01WRTC0,5DC\r");
    answer(kCounterReply);
    EXPECT_EQ(state.PollStep, 12);
    noAnswer();
    EXPECT_EQ(host.lastStatus(), "Time Out");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 2u);
    EXPECT_TRUE(host.readTicked);
}

TEST_F(CommandDispatch, CommandWaitingAtATimeoutIsStillSentThenTheCycleEnds) {
    setBoxes(1, 1, 0);
    tickRead(0);
    queueCommand(3, "#01WDO1,1\r");
    letDeadlinePass();
    EXPECT_EQ(writes().back(), "#01WDO1,1\r");
    EXPECT_EQ(state.PollStep, 113);
    EXPECT_FALSE(host.readTicked) << "a single read that timed out unticks Read";
    answer("DO>OK\r");
    EXPECT_EQ(host.lastStatus(), "Write OK");
    EXPECT_EQ(state.PollStep, 0);
    EXPECT_EQ(writes().size(), 2u) << "no input read after the timeout";
}

TEST_F(CommandDispatch, StatusTextReadsTheCounterSelectorWhenTheCommandIsSent) {
    setBoxes(1, 0, 0);
    tickRead(5);
    host.counterSelector = 3;
    queueCommand(1, "#01CCT3\r");
    host.counterSelector = 5;
    answer(kCounterReply);
    EXPECT_EQ(host.lastStatus(), "Clear DC #5");
    EXPECT_EQ(writes().back(), "#01CCT3\r") << "the frame is the one built at the click";
}

TEST_F(CommandDispatch, CommandWithTheLineClosedStaysInTheSlot) {
    host.lineOpen = false;
    queueCommand(3, "#01WDO1,1\r");
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(state.PendingCommand, 3);
    EXPECT_EQ(state.PendingFrame, "#01WDO1,1\r");
    EXPECT_EQ(state.PollStep, 0);
}

TEST_F(CommandDispatch, CommandLeftInTheSlotByAClosedPortGoesBeforeTheNextCycle) {
    setBoxes(1, 0, 0);
    state.PendingCommand = 3;
    state.PendingFrame = "#01WDO2,1\r";
    state.OutputState[0] = 2;
    tickRead(5);
    EXPECT_EQ(writes(), Strings{"#01WDO2,1\r"});
    EXPECT_EQ(host.lastStatus(), "Write DO #2");
    answer("DO>OK\r");
    EXPECT_EQ(writes(), (Strings{"#01WDO2,1\r", "#01RCT\r"})) << "polling is not stuck behind it";
}

struct Announcement {
    int pollStep;
    int selector;
    int outputTarget;
    const char* text;
};

TEST(CommandText, AnnouncesEachCommandWithItsTarget) {
    const Announcement cases[] = {
        {1, 3, 0, "Clear DC #3"},
        {21, 0, 0, "Clear All DC"},
        {2, 8, 0, "Write DC #8"},
        {2, 0, 0, "Write All DC"},
        {33, 0, 5, "Write DO #5"},
        {3, 0, 255, "Write All DO"},
        {3, 0, 0, "Write All DO"},
        {4, 3, 0, "Read DC Status"},
        {1003, 0, 8, "Write DO #8"},
        {10, 3, 5, ""},
        {5, 3, 5, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandText(c.pollStep, c.selector, c.outputTarget), c.text)
            << "step " << c.pollStep;
    }
}

}  // namespace
}  // namespace tally::testing
