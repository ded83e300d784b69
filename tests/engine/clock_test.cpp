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
    std::int64_t MonotonicMicros() const override { return 0; }
    void LetEventsRun(double) override {}
    mutable int dateReads = 0;
};

TEST(TimeStamp, IsTheDatePlusTheTimeOfDayReadAgainWhenMidnightFallsBetweenTheReadings) {
    FakeClock clock;
    clock.Set(45000, 6 * 3600.0);
    EXPECT_NEAR(NowStamp(clock), 45000.25, 1e-9);
    TurningClock turning, again;
    EXPECT_NEAR(NowStamp(turning), 45001.0 + 0.001 / 86400.0, 1e-9);
    EXPECT_NEAR(DeadlineAfter(again, 0.3f), 45001.0 + (0.001 + 0.3f) / 86400.0, 1e-9);
}

TEST(WaitSeconds, WaitsTheTimeLettingEventsRunAlsoAcrossMidnight) {
    FakeClock clock;
    clock.Set(45000, 1000.0);
    WaitSeconds(clock, 0.0f);
    WaitSeconds(clock, -1.0f);
    EXPECT_EQ(clock.letEventsRunCalls, 0) << "nothing to wait for returns at once";
    WaitSeconds(clock, 0.25f);
    EXPECT_GE(clock.SecondsSinceMidnight(), 1000.25 - 0.001);
    EXPECT_LT(clock.SecondsSinceMidnight(), 1000.26);
    EXPECT_LE(clock.letEventsRunCalls, 3) << "no spinning";
    clock.Set(45000, 86400.0 - 0.1);
    WaitSeconds(clock, 0.25f);
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_NEAR(clock.SecondsSinceMidnight(), 0.15, 0.01);  // float near 86400 s: ~8 ms
}

}  // namespace
}  // namespace tally
