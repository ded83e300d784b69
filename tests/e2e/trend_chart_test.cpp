// The trend chart against the simulated module: what its series hold, hidden
// channels, the span, pause, and the saved image.
#include <QCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QSettings>

#include "live_window_fixture.h"
#include "numbers/number_text.h"
#include "ui/windows/frm_trend.h"

namespace tally::e2e {
namespace {

// How each counter read ended, and the scaled values the window showed after each good cycle.
struct ShownValues : LineListener {
    explicit ShownValues(FrmMain& window) : w(window) { w.engine().Events().Add(this); }
    ~ShownValues() override { w.engine().Events().Remove(this); }
    void OnLineEvent(const LineEvent& event) override {
        if (event.type == LineEvent::Type::Outcome && event.request == LineRequest::ReadCounters)
            readsOk.push_back(OutcomeApplies(event.outcome));
        if (event.type != LineEvent::Type::CycleEnd || readsOk.empty() || !readsOk.back()) return;
        scaled.emplace_back();
        for (QLineEdit* field : w.txtCTVal)
            scaled.back() << field->text();
    }
    FrmMain& w;
    std::vector<bool> readsOk;
    std::vector<QStringList> scaled;
};

class TrendChartLive : public LiveWindowTest {
  protected:
    void SetUp() override {
        // The chart remembers its place for the user; not this user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
    FrmTrend* openChart() {
        w->mnuTrend->trigger();
        if (w->frmTrend != nullptr) w->frmTrend->cmbTrendSpan->setCurrentText("1 min");
        return w->frmTrend;
    }
    // The series of channel k: its lines and its dots (a line series with no pen).
    static std::vector<QLineSeries*> seriesOf(FrmTrend* chart, int k) {
        std::vector<QLineSeries*> all;
        for (QAbstractSeries* s : chart->chart->series())
            if (s->property("channel").toInt() == k) all.push_back(static_cast<QLineSeries*>(s));
        return all;
    }
    static QList<QPointF> pointsOf(FrmTrend* chart, int k) {
        QList<QPointF> points;
        for (QLineSeries* s : seriesOf(chart, k))
            points += s->points();
        std::sort(points.begin(), points.end(), [](auto& a, auto& b) { return a.x() < b.x(); });
        return points;
    }
};

TEST_F(TrendChartLive, SeriesHoldWhatTheWindowShowedThroughFailedReadsAndHideWhenUnticked) {
    startSimulator(1, kMovingSeed, {"--drop", "0.2"});
    if (HasFatalFailure()) return;
    startWindow();
    openPort(kOwn, 1);
    if (HasFatalFailure()) return;
    for (std::size_t i = 0; i < 8; ++i)
        w->txtCTMulti[i]->setText(QString::number(0.25 * static_cast<double>(i + 1)));
    ShownValues shown(*w);
    FrmTrend* chart = openChart();
    ASSERT_NE(chart, nullptr);
    w->chkDC->setChecked(true);
    w->chkDI->setChecked(true);  // more requests move the module's counters further
    w->txtAutoRead->setText(QStringLiteral("1"));
    w->chkRead->setChecked(true);
    ASSERT_TRUE(WaitUntil([&] { return shown.readsOk.size() >= 8; }, 12000));
    w->chkRead->setChecked(false);
    ASSERT_TRUE(settle());
    // The chart's own timer draws them.
    ASSERT_TRUE(
        WaitUntil([&] { return pointsOf(chart, 8).size() == int(shown.scaled.size()); }, 2000));

    for (int k = 1; k <= 8; ++k) {
        const QList<QPointF> values = pointsOf(chart, k);
        for (std::size_t cycle = 0; cycle < shown.scaled.size(); ++cycle)
            EXPECT_EQ(QString::fromStdString(FormatDecimal(values[int(cycle)].y(), 1, 4)),
                      shown.scaled[cycle][k - 1])
                << "channel " << k << " good cycle " << cycle;
    }

    chart->chkTrend[2]->setChecked(false);
    for (QLineSeries* s : seriesOf(chart, 3))
        EXPECT_FALSE(s->isVisible());
    EXPECT_TRUE(seriesOf(chart, 1).front()->isVisible());
}

TEST_F(TrendChartLive, TheSpanShowsOnlyItsWindowPauseHoldsItAndSaveImageWritesTheWindow) {
    ASSERT_TRUE(dir.isValid());
    startWindow();
    FrmTrend* chart = openChart();
    ASSERT_NE(chart, nullptr);
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
        EXPECT_EQ(pointsOf(chart, 1).size(), count) << span;
        EXPECT_NEAR(chart->axisX->max() - chart->axisX->min(),
                    chart->cmbTrendSpan->currentData().toInt() * 1000.0, 1.0)
            << span;
    }

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
