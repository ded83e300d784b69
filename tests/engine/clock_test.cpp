// Waits on the fake clock, and the stations' health.
#include <gtest/gtest.h>

#include <iterator>
#include <utility>

#include "engine/clock.h"
#include "engine/station_health.h"
#include "fake_clock.h"

namespace tally {
namespace {

TEST(WaitSeconds, WaitsOnMonotonicTimeLettingEventsRunWhateverTheWallClockDoes) {
    FakeClock clock;
    clock.Set(45000, 86400.0 - 0.1);
    WaitSeconds(clock, 0.0f);
    WaitSeconds(clock, -1.0f);
    EXPECT_EQ(clock.letEventsRunCalls, 0) << "nothing to wait for returns at once";
    const std::int64_t start = clock.MonotonicMicros();
    clock.onEvents = [&clock] {
        if (clock.letEventsRunCalls == 1) clock.StepWall(-3600.0);  // an hour back, mid-wait
    };
    WaitSeconds(clock, 0.25f);
    EXPECT_EQ(clock.MonotonicMicros() - start, 250'000);
    EXPECT_EQ(clock.letEventsRunCalls, 1) << "no spinning, and no extra hour";
}

using Change = StationHealth::Change;

// Lost and back: the verdict the headless run reports and the publisher sends.
TEST(StationHealth, LostOnlyAfterThreeSilentCyclesInARowOnceAndBackAtTheNextAnswer) {
    StationHealth health;
    // Two silent cycles, then an answer: the count starts again; the loss is reported once.
    const std::pair<bool, Change> cycles[] = {
        {true, Change::FirstAnswer}, {true, Change::None},  {false, Change::None},
        {false, Change::None},       {true, Change::None},  {false, Change::None},
        {false, Change::None},       {false, Change::Lost}, {false, Change::None}};
    for (std::size_t i = 0; i < std::size(cycles); ++i)
        EXPECT_EQ(health.CycleEnded(1, cycles[i].first), cycles[i].second) << "cycle " << i;
    EXPECT_EQ(health.LostStations(), std::vector<int>{1});
    EXPECT_EQ(health.CycleEnded(1, true), Change::Back);
    EXPECT_EQ(health.CycleEnded(1, true), Change::None);
}

}  // namespace
}  // namespace tally
