#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/headless/headless_commands.h"
#include "fake_clock.h"
#include "fake_serial_component.h"
#include "manual_timer.h"
#include "off_line_host.h"

namespace tally::testing {
namespace {

TEST(HeadlessCommands, AFloodBeyondTheWaitingLimitIsAnsweredAtOnceAndTheRestKeepTheirTurn) {
    MainState state;
    FakeSerialComponent port;
    FakeClock clock;
    ManualTimer tmrRead, tmrNow;
    OffLineHost host;  // the first command stays in the slot, every later one waits
    PollEngine engine{state, port, clock, tmrRead, tmrNow, host};
    HeadlessCommands commands(state, engine);
    std::vector<std::string> answers;
    commands.onDone = [&](const ReceivedCommand& c, const std::string& outcome) {
        answers.push_back(c.payload + " " + outcome);
    };
    const int flood = 1 + static_cast<int>(HeadlessCommands::kMostWaiting) + 3;
    for (int n = 0; n < flood; ++n)
        commands.Take({{1, CommandAction::Do, 1, n % 2 == 0}, "", std::to_string(n), ""});
    const std::string tooMany = " not carried out: too many commands waiting";
    ASSERT_EQ(answers, (std::vector<std::string>{std::to_string(flood - 3) + tooMany,
                                                 std::to_string(flood - 2) + tooMany,
                                                 std::to_string(flood - 1) + tooMany}));

    // The ones taken are all still there, in the order they came.
    commands.Abandon("stopping");
    ASSERT_EQ(answers.size(), static_cast<std::size_t>(flood));
    for (int n = 0; n < flood - 3; ++n)
        EXPECT_EQ(answers[static_cast<std::size_t>(n + 3)], std::to_string(n) + " stopping");
}

}  // namespace
}  // namespace tally::testing
