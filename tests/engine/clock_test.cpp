// Time stamps, deadlines and waits, on the fake clock.
#include <gtest/gtest.h>

#include "engine/clock.h"
#include "fake_clock.h"

namespace tally {
namespace {

// Midnight passes between the first reading of the date and that of the time.
class TurningClock : public Clock {
  public:
    std::int32_t Today() const override { return dateReads++ == 0 ? 45000 : 45001; }
    double SecondsSinceMidnight() const override { return dateReads < 2 ? 86399.999 : 0.001; }
    std::int64_t UtcMillis() const override { return 0; }
    std::int64_t MonotonicMicros() const override { return 0; }
    void LetEventsRun(double) override {}
    void PauseMicros(std::int64_t) override {}
    mutable int dateReads = 0;
};

TEST(TimeStamp, IsTheDatePlusTheTimeOfDayReadAgainWhenMidnightFallsBetweenTheReadings) {
    FakeClock clock;
    clock.Set(45000, 6 * 3600.0);
    EXPECT_NEAR(NowStamp(clock), 45000.25, 1e-9);
    TurningClock turning;
    EXPECT_NEAR(NowStamp(turning), 45001.0 + 0.001 / 86400.0, 1e-9);
}

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

}  // namespace
}  // namespace tally
