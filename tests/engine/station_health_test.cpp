// The stations' health: when one is lost and when it is back.
#include <gtest/gtest.h>

#include <iterator>
#include <utility>

#include "engine/station_health.h"

namespace tally {
namespace {

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
