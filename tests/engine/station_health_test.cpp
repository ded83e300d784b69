// Lost and back: the verdict the headless run reports and the publisher sends.
#include <gtest/gtest.h>

#include "engine/station_health.h"

namespace tally {
namespace {

using Change = StationHealth::Change;

TEST(StationHealth, LostOnlyAfterThreeSilentCyclesInARowOnceAndBackAtTheNextAnswer) {
    StationHealth health;
    EXPECT_EQ(health.CycleEnded(1, true), Change::FirstAnswer);
    EXPECT_EQ(health.CycleEnded(1, true), Change::None);
    // Two silent cycles, then an answer: the count starts again.
    EXPECT_EQ(health.CycleEnded(1, false), Change::None);
    EXPECT_EQ(health.CycleEnded(1, false), Change::None);
    EXPECT_EQ(health.CycleEnded(1, true), Change::None);
    EXPECT_EQ(health.CycleEnded(1, false), Change::None);
    EXPECT_EQ(health.CycleEnded(1, false), Change::None);
    EXPECT_FALSE(health.IsLost(1));
    EXPECT_EQ(health.CycleEnded(1, false), Change::Lost);
    EXPECT_EQ(health.CycleEnded(1, false), Change::None) << "reported once";
    EXPECT_EQ(health.LostStations(), std::vector<int>{1});
    EXPECT_EQ(health.CycleEnded(1, true), Change::Back);
    EXPECT_EQ(health.CycleEnded(1, true), Change::None);
    // One that never answered is lost too, and stations are kept apart.
    for (int cycle = 0; cycle < 3; ++cycle)
        EXPECT_EQ(health.CycleEnded(31, false), cycle == 2 ? Change::Lost : Change::None);
    EXPECT_EQ(health.LostStations(), std::vector<int>{31});
    EXPECT_EQ(health.CycleEnded(32, false), Change::None);
}

}  // namespace
}  // namespace tally
