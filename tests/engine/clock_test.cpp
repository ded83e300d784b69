// Time stamps, deadlines and waits, on the fake clock.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "engine/clock.h"
#include "engine/fake_clock.h"
#include "engine/manual_timer.h"
#include "engine/qt_timer.h"

namespace tally {
namespace {

constexpr double kTolerance = 1e-9;

TEST(TimeStamp, IsTheDatePlusTheTimeOfDayInDays) {
    FakeClock clock;
    clock.Set(45000, 6 * 3600.0);
    EXPECT_NEAR(NowStamp(clock), 45000.25, kTolerance);
}

TEST(TimeStamp, DeadlineSetBeforeMidnightComparesWithStampsAfterIt) {
    FakeClock clock;
    clock.Set(45000, 86400.0 - 0.1);
    const double deadline = DeadlineAfter(clock, 0.3f);
    EXPECT_GT(deadline, 45001.0);

    clock.Advance(0.28);
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_GT(deadline, NowStamp(clock)) << "still in time 0.28 s later";
    clock.Advance(0.04);
    EXPECT_LE(deadline, NowStamp(clock)) << "late 0.32 s later, not a day later";
}

// A clock whose date turns over between the reading of the date and of the time.
class TurningClock : public Clock {
  public:
    std::int32_t Today() const override { return dateReads++ == 0 ? 45000 : 45001; }
    double SecondsSinceMidnight() const override { return 0.001; }
    void LetEventsRun(double) override {}
    mutable int dateReads = 0;
};

TEST(TimeStamp, MidnightPassingBetweenDateAndTimeNeverLosesADay) {
    TurningClock clock;
    EXPECT_NEAR(NowStamp(clock), 45001.0 + 0.001 / 86400.0, kTolerance);
    TurningClock again;
    EXPECT_NEAR(DeadlineAfter(again, 0.3f), 45001.0 + (0.001 + 0.3f) / 86400.0, kTolerance);
}

TEST(WaitSeconds, ReturnsAfterTheTimeLettingEventsRun) {
    FakeClock clock;
    clock.Set(45000, 1000.0);
    int events = 0;
    clock.onEvents = [&] { ++events; };
    WaitSeconds(clock, 0.25f);
    EXPECT_GE(clock.SecondsSinceMidnight(), 1000.25 - 0.001);
    EXPECT_LT(clock.SecondsSinceMidnight(), 1000.26);
    EXPECT_GE(events, 1);
    EXPECT_LE(clock.letEventsRunCalls, 3) << "waits in one stretch, no spinning";
}

TEST(WaitSeconds, AcrossMidnightWaitsForTheNewDayAndThenTheRest) {
    FakeClock clock;
    clock.Set(45000, 86400.0 - 0.1);
    WaitSeconds(clock, 0.25f);
    EXPECT_EQ(clock.Today(), 45001);
    // Single precision near 86400 s is good to about 8 ms.
    EXPECT_NEAR(clock.SecondsSinceMidnight(), 0.15, 0.01);
}

TEST(WaitSeconds, NothingToWaitForReturnsAtOnce) {
    FakeClock clock;
    clock.Set(45000, 500.0);
    WaitSeconds(clock, 0.0f);
    WaitSeconds(clock, -1.0f);
    EXPECT_EQ(clock.letEventsRunCalls, 0);
    EXPECT_EQ(clock.SecondsSinceMidnight(), 500.0);
}

TEST(FakeClock, AdvanceRollsOverMidnight) {
    FakeClock clock;
    clock.Set(45000, 86399.0);
    clock.Advance(2.5);
    EXPECT_EQ(clock.Today(), 45001);
    EXPECT_NEAR(clock.SecondsSinceMidnight(), 1.5, kTolerance);
}

TEST(Timers, ManualTimerTicksOnlyWhileEnabled) {
    ManualTimer timer(40);
    int ticks = 0;
    timer.onTick = [&] { ++ticks; };
    EXPECT_FALSE(timer.Fire());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Fire());
    EXPECT_EQ(ticks, 1);
}

TEST(Timers, QtTimerEnabledWithIntervalZeroNeverTicks) {
    int argc = 1;
    char name[] = "engine_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtTimerFactory factory;
    auto timer = factory.Create(0);
    int ticks = 0;
    timer->onTick = [&] { ++ticks; };
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);
    timer->SetInterval(60000);
    EXPECT_EQ(timer->Interval(), 60000);
    timer->SetEnabled(false);
    EXPECT_FALSE(timer->Enabled());
}

}  // namespace
}  // namespace tally
