// Time stamps, deadlines and waits, on the fake clock.
#include <gtest/gtest.h>

#include "engine/clock.h"
#include "engine/fake_clock.h"

namespace tally {
namespace {

// Midnight passes between the first reading of the date and that of the time.
class TurningClock : public Clock {
  public:
    std::int32_t Today() const override { return dateReads++ == 0 ? 45000 : 45001; }
    double SecondsSinceMidnight() const override { return dateReads < 2 ? 86399.999 : 0.001; }
    void LetEventsRun(double) override {}
    mutable int dateReads = 0;
};

TEST(TimeStamp, IsTheDatePlusTheTimeOfDayNeverADayOffAroundMidnight) {
    FakeClock clock;
    clock.Set(45000, 6 * 3600.0);
    EXPECT_NEAR(NowStamp(clock), 45000.25, 1e-9);
    clock.Set(45000, 86400.0 - 0.1);
    const double deadline = DeadlineAfter(clock, 0.3f);
    clock.Advance(0.28);
    EXPECT_GT(deadline, NowStamp(clock)) << "still in time 0.28 s later";
    clock.Advance(0.04);
    EXPECT_LE(deadline, NowStamp(clock)) << "late 0.32 s later, not a day later";
    TurningClock turning;
    EXPECT_NEAR(NowStamp(turning), 45001.0 + 0.001 / 86400.0, 1e-9);
    TurningClock again;
    EXPECT_NEAR(DeadlineAfter(again, 0.3f), 45001.0 + (0.001 + 0.3f) / 86400.0, 1e-9);
}

TEST(WaitSeconds, WaitsTheTimeLettingEventsRunAlsoAcrossMidnight) {
    FakeClock clock;
    clock.Set(45000, 1000.0);
    int events = 0;
    clock.onEvents = [&] { ++events; };
    WaitSeconds(clock, 0.25f);
    EXPECT_GE(clock.SecondsSinceMidnight(), 1000.25 - 0.001);
    EXPECT_LT(clock.SecondsSinceMidnight(), 1000.26);
    EXPECT_GE(events, 1);
    EXPECT_LE(clock.letEventsRunCalls, 3) << "no spinning";
    clock.letEventsRunCalls = 0;
    WaitSeconds(clock, 0.0f);
    WaitSeconds(clock, -1.0f);
    EXPECT_EQ(clock.letEventsRunCalls, 0) << "nothing to wait for returns at once";

    clock.Set(45000, 86400.0 - 0.1);
    WaitSeconds(clock, 0.25f);
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_NEAR(clock.SecondsSinceMidnight(), 0.15, 0.01);  // float near 86400 s: ~8 ms
}

}  // namespace
}  // namespace tally
