// The trend chart of the real window on readings told as the engine tells them:
// the span, hidden channels, pause, and the saved image. (What its series hold
// of the simulated module is checked beside the counter log.)
#include <QCategoryAxis>
#include <QImage>
#include <QSettings>

#include "live_window_fixture.h"

namespace tally::e2e {
namespace {

using TrendChartLive = LiveWindowTest;

TEST_F(TrendChartLive,
       TheSpanShowsOnlyItsWindowUntickedChannelsHidePauseHoldsAndSaveWritesTheImage) {
    // The chart remembers its place for the user; not this user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    startWindow();
    w->mnuTrend->trigger();
    FrmTrend* chart = w->frmTrend;
    ASSERT_NE(chart, nullptr);
    chart->cmbTrendSpan->setCurrentText("1 min");
    // Readings 7 h, 50 min, 5 min, 30 s and 0 s old, told as the engine tells them.
    Clock& clock = *system->env().clock;
    const std::int64_t now = clock.MonotonicMicros();
    auto read = [&](std::int64_t secondsAgo) {
        LineEvent event;
        event.type = LineEvent::Type::Outcome;
        event.monoMicros = now - secondsAgo * 1'000'000;
        event.utcMs = clock.UtcMillis() - secondsAgo * 1000;
        event.meaning = ReplyMeaning{ReplyMeaning::Kind::Counters, {}, {}, {}};
        event.meaning->counters.fill(1.0);
        w->engine().Events().Emit(event);
    };
    for (std::int64_t ago : {25'200, 3000, 300, 30, 0})
        read(ago);
    // Each a change from the one before, which redraws at once.
    for (const auto& [span, count] :
         {std::pair{"10 min", 3}, {"1 h", 4}, {"8 h", 5}, {"1 min", 2}}) {
        chart->cmbTrendSpan->setCurrentText(QLatin1String(span));
        EXPECT_EQ(TrendPoints(*chart, 1).size(), count) << span;
        EXPECT_NEAR(chart->axisX->max() - chart->axisX->min(),
                    chart->cmbTrendSpan->currentData().toInt() * 1000.0, 1.0)
            << span;
    }

    chart->chkTrend[2]->setChecked(false);
    for (QLineSeries* s : TrendSeries(*chart, 3))
        EXPECT_FALSE(s->isVisible());
    EXPECT_TRUE(TrendSeries(*chart, 1).front()->isVisible());

    chart->chkTrendPause->setChecked(true);
    const double heldAt = chart->axisX->max();
    read(-60);
    chart->cmbTrendSpan->setCurrentText(QStringLiteral("10 min"));
    EXPECT_EQ(chart->axisX->max(), heldAt);
    chart->chkTrendPause->setChecked(false);
    EXPECT_EQ(chart->axisX->max(), heldAt + 60'000.0);

    chart->resize(700, 450);
    chart->askSaveFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
        return dir.filePath(QStringLiteral("trend"));
    };
    chart->cmdTrendSave->click();
    const QImage image(dir.filePath(QStringLiteral("trend.png")));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart->size() * chart->devicePixelRatio());
}

}  // namespace
}  // namespace tally::e2e
