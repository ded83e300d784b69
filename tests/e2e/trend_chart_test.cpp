// The trend chart against the simulated module: what its series hold, gaps,
// hidden channels, the span, and the saved image.
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QSettings>

#include "live_window_fixture.h"
#include "ui/frm_trend.h"
#include "ui/number_text.h"

namespace tally::e2e {
namespace {

class TrendChartLive : public LiveWindowTest {
  protected:
    void SetUp() override {
        // The chart remembers its place for the user; not this user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }

    FrmTrend* openChart() {
        w->mnuTrend->trigger();
        FrmTrend* chart = w->frmTrend;
        if (chart != nullptr) chart->cmbTrendSpan->setCurrentText(QStringLiteral("1 min"));
        return chart;
    }

    // Every series of channel k: its lines and its dots.
    static std::vector<QLineSeries*> seriesOf(FrmTrend* chart, int k) {
        std::vector<QLineSeries*> all;
        for (QAbstractSeries* s : chart->chart->series())
            if (s->property("channel").toInt() == k) all.push_back(static_cast<QLineSeries*>(s));
        return all;
    }

    // All points of channel k in time order.
    static QList<QPointF> pointsOf(FrmTrend* chart, int k) {
        QList<QPointF> points;
        for (QLineSeries* s : seriesOf(chart, k))
            points += s->points();
        std::sort(points.begin(), points.end(),
                  [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        return points;
    }
};

TEST_F(TrendChartLive, TheSpanShowsOnlyItsWindowPauseHoldsItAndSaveImageWritesTheWindow) {
    ASSERT_TRUE(dir.isValid());
    startWindow();
    FrmTrend* chart = openChart();
    ASSERT_NE(chart, nullptr);
    // Readings 7 h, 50 min, 5 min, 30 s and 0 s old, told as the engine tells them.
    Clock& clock = *system->env().clock;
    const std::int64_t now = clock.MonotonicMicros();
    auto read = [&](std::int64_t secondsAgo, double value) {
        LineEvent event;
        event.type = LineEvent::Type::Outcome;
        event.request = LineRequest::ReadCounters;
        event.monoMicros = now - secondsAgo * 1'000'000;
        event.stamp = NowStamp(clock) - static_cast<double>(secondsAgo) / 86400.0;
        event.meaning = ReplyMeaning{};
        event.meaning->kind = ReplyMeaning::Kind::Counters;
        event.meaning->counters.fill(value);
        w->engine().Events().Emit(event);
    };
    for (std::int64_t ago : {25'200, 3000, 300, 30, 0})
        read(ago, static_cast<double>(ago));

    // Each a change from the one before, which redraws at once.
    const std::pair<const char*, int> spans[] = {
        {"10 min", 3}, {"1 h", 4}, {"8 h", 5}, {"1 min", 2}};
    for (const auto& [span, count] : spans) {
        chart->cmbTrendSpan->setCurrentText(QLatin1String(span));
        const QList<QPointF> points = pointsOf(chart, 1);
        EXPECT_EQ(points.size(), count) << span;
        const double from = chart->axisX->min().toMSecsSinceEpoch();
        const double to = chart->axisX->max().toMSecsSinceEpoch();
        EXPECT_NEAR(to - from, chart->cmbTrendSpan->currentData().toInt() * 1000.0, 1.0) << span;
        for (const QPointF& p : points) {
            EXPECT_GE(p.x(), from - 1.0) << span;
            EXPECT_LE(p.x(), to + 1.0) << span;
        }
    }

    chart->chkTrendPause->setChecked(true);
    const QDateTime heldAt = chart->axisX->max();
    read(-60, 1.0);
    chart->cmbTrendSpan->setCurrentText(QStringLiteral("1 min"));
    EXPECT_EQ(chart->axisX->max(), heldAt);
    chart->chkTrendPause->setChecked(false);
    EXPECT_EQ(chart->axisX->max(), heldAt.addSecs(60));

    chart->resize(700, 450);
    QString asked;
    chart->askSaveFileName = [&](QWidget*, const QString&, const QString& suggested,
                                 const QString&) {
        asked = suggested;
        return dir.filePath(QStringLiteral("trend"));
    };
    chart->cmdTrendSave->click();
    EXPECT_TRUE(asked.endsWith(QStringLiteral(".png")));
    const QImage image(dir.filePath(QStringLiteral("trend.png")));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart->size() * chart->devicePixelRatio());
}

}  // namespace
}  // namespace tally::e2e
