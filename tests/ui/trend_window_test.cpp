#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>

#include "ui/models/trend_model.h"
#include "ui/windows/frm_trend.h"

namespace tally {
namespace {

// A counter read `second` seconds after 2026-07-01 10:04:54.3 in Berlin, an odd time of day.
LineEvent CounterRead(std::int64_t second, double value = 5.0) {
    LineEvent event;
    event.type = LineEvent::Type::Outcome;
    event.station = 1;
    event.monoMicros = (100 + second) * 1'000'000;
    event.utcMs = 1'782'893'094'300 + second * 1000;
    event.meaning = ReplyMeaning{ReplyMeaning::Kind::Counters, {}, {}, {}};
    event.meaning->counters.fill(value);
    return event;
}

int PixelsOf(const QImage& image, const QRect& area, const QColor& color) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == color ? 1 : 0;
    return count;
}

TEST(TrendWindow, ALoneReadingBetweenFailedReadsIsAVisibleDot) {
    TrendModel model({[](int) { return 1.0; }, [] { return 1; }});
    LineEvent failed = CounterRead(-20);
    failed.outcome = Outcome::Of(OutcomeKind::TimeOut);
    model.OnLineEvent(failed);
    model.OnLineEvent(CounterRead(0));
    FrmTrend chart(model);
    for (std::size_t k = 1; k < chart.chkTrend.size(); ++k)
        chart.chkTrend[k]->setChecked(false);  // channel 1 alone
    chart.resize(800, 500);
    chart.show();
    chart.Refresh();
    QCoreApplication::processEvents();
    const QImage image = chart.chartView->grab().toImage();
    const QRect plot = chart.chart->plotArea().toRect();
    EXPECT_GE(PixelsOf(image, plot, FrmTrend::ChannelColor(1)), 12);
}

// Readings 7 h, 50 min, 5 min, 30 s and 0 s old; each span shows only its window.
TEST(TrendWindow, TheSpanShowsItsWindowUntickedChannelsHidePauseHoldsAndSaveWritesTheImage) {
    TrendModel model({[](int) { return 1.0; }, [] { return 1; }});
    for (std::int64_t ago : {25'200, 3000, 300, 30, 0})
        model.OnLineEvent(CounterRead(-ago));
    FrmTrend chart(model);
    chart.show();
    const auto series = [&chart](int k) {
        std::vector<QLineSeries*> all;  // its lines and its dots
        for (QAbstractSeries* s : chart.chart->series())
            if (s->property("channel").toInt() == k) all.push_back(static_cast<QLineSeries*>(s));
        return all;
    };
    chart.cmbTrendSpan->setCurrentText("1 min");
    // Each a change from the one before, which redraws at once.
    for (const auto& [span, count] :
         {std::pair{"10 min", 3}, {"1 h", 4}, {"8 h", 5}, {"1 min", 2}}) {
        chart.cmbTrendSpan->setCurrentText(QLatin1String(span));
        int points = 0;
        for (QLineSeries* s : series(1))
            points += static_cast<int>(s->count());
        EXPECT_EQ(points, count) << span;
        EXPECT_NEAR(chart.axisX->max() - chart.axisX->min(),
                    chart.cmbTrendSpan->currentData().toInt() * 1000.0, 1.0)
            << span;
    }
    chart.chkTrend[2]->setChecked(false);
    for (QLineSeries* s : series(3))
        EXPECT_FALSE(s->isVisible());
    EXPECT_TRUE(series(1).front()->isVisible());

    chart.chkTrendPause->setChecked(true);
    const double heldAt = chart.axisX->max();
    model.OnLineEvent(CounterRead(60));
    chart.cmbTrendSpan->setCurrentText("10 min");
    EXPECT_EQ(chart.axisX->max(), heldAt);
    chart.chkTrendPause->setChecked(false);
    EXPECT_EQ(chart.axisX->max(), heldAt + 60'000.0);

    QTemporaryDir dir;
    chart.resize(700, 450);
    chart.askSaveFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
        return dir.filePath("trend");
    };
    chart.cmdTrendSave->click();
    const QImage image(dir.filePath("trend.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart.size() * chart.devicePixelRatio());
}

TEST(TrendWindow, ReadingsWakeTheChartAndBetweenStepsOfTheTimeAxisOnlyAddToTheLines) {
    TrendModel model({[](int) { return 1.0; }, [] { return 1; }});
    auto read = [&](std::int64_t second) {
        model.OnLineEvent(CounterRead(second, 5.0 + static_cast<double>(second)));
    };
    read(-1);
    read(0);
    FrmTrend chart(model);
    chart.resize(800, 500);
    chart.show();
    const QList<QAbstractSeries*> series = chart.chart->series();
    auto* line = static_cast<QLineSeries*>(series.front());  // channel 1's first line
    auto* dots = *std::find_if(series.begin(), series.end(), [](QAbstractSeries* s) {
        return static_cast<QLineSeries*>(s)->pen().style() == Qt::NoPen;
    });
    QSignalSpy dotsHanded(static_cast<QLineSeries*>(dots), &QXYSeries::pointsReplaced);
    QSignalSpy moves(chart.axisX, &QValueAxis::rangeChanged);
    QTimer* timer = chart.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive()) << "no reading, nothing to wake up for";
    auto tick = [timer] {
        ASSERT_TRUE(timer->isActive());
        QTimerEvent event(timer->timerId());
        QCoreApplication::sendEvent(timer, &event);
    };
    for (std::int64_t second = 1; second <= 30; ++second) {
        read(second);
        tick();
        // The newest reading ends the line, inside the span and at most a step from its edge.
        ASSERT_EQ(line->count(), second + 2);
        const double newest = line->at(line->count() - 1).x();
        EXPECT_LE(newest, chart.axisX->max());
        EXPECT_GT(newest, chart.axisX->max() - 10'000.0);
    }
    // 30 s of readings on "10 min" pass the edge, moving in 10 s steps, three times.
    EXPECT_LE(moves.size(), 4);
    EXPECT_EQ(dotsHanded.size(), 0) << "no dots, nothing handed to the dot series";

    chart.showMinimized();
    read(31);
    EXPECT_FALSE(timer->isActive()) << "a minimized chart is not woken";
    chart.showNormal();
    EXPECT_EQ(line->count(), 33) << "restored, it shows what came in meanwhile";
    // On "8 h" a pixel column is half a minute: a reading just after a redraw waits.
    chart.cmbTrendSpan->setCurrentText(QStringLiteral("8 h"));
    read(32);
    EXPECT_GT(timer->interval(), 20'000);
}

TEST(TrendWindow, TheKeptBackgroundFollowsTheAxesAndThePlotArea) {
    TrendModel model({[](int) { return 1.0; }, [] { return 1; }});
    // Values growing tenfold every 6 s widen the Y axis labels, and so narrow the plot
    // area; when they have left the minute shown it widens again.
    auto read = [&](std::int64_t second) {
        model.OnLineEvent(CounterRead(
            second, second <= 30 ? std::pow(10.0, static_cast<double>(second) / 6.0) : 2.0));
    };
    read(0);
    // The chart's layout, and its paint: a window just shown may take more than one turn.
    auto settle = [] {
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
    };
    // A chart opened at that moment draws everything afresh: the kept one must look the same.
    auto opened = [&model, &settle] {
        auto chart = std::make_unique<FrmTrend>(model);
        chart->cmbTrendSpan->setCurrentText(QStringLiteral("1 min"));
        chart->resize(800, 500);
        chart->show();
        chart->Refresh();
        settle();
        return chart;
    };
    const std::unique_ptr<FrmTrend> kept = opened();
    std::vector<qreal> plotLefts{kept->chart->plotArea().left()};
    QSignalSpy moves(kept->axisX, &QValueAxis::rangeChanged);
    for (std::int64_t second = 1; second <= 100; ++second) {
        read(second);
        kept->Refresh();
        settle();
        plotLefts.push_back(kept->chart->plotArea().left());
        if (second % 3 != 0) continue;
        const std::unique_ptr<FrmTrend> fresh = opened();
        // The plot area, where the background's grid lies under the lines; Qt Charts'
        // own axis items around it may differ by a tick between a chart that moved
        // and a new one.
        ASSERT_EQ(kept->chart->plotArea(), fresh->chart->plotArea()) << second;
        auto plotOf = [](FrmTrend& chart) {
            const QRectF plot = chart.chart->mapRectToScene(chart.chart->plotArea());
            const QRect inside = chart.chartView->mapFromScene(plot).boundingRect();
            return chart.chartView->grab().toImage().copy(inside.adjusted(2, 2, -2, -2));
        };
        ASSERT_EQ(plotOf(*kept), plotOf(*fresh)) << "after the reading of second " << second;
    }
    EXPECT_GE(moves.size(), 50) << "the time axis moved on";
    // The plot's left edge, right of the Y axis labels.
    const qreal narrowest = *std::max_element(plotLefts.begin(), plotLefts.end());
    EXPECT_GT(narrowest, plotLefts.front()) << "wider labels narrowed the plot area";
    EXPECT_LT(plotLefts.back(), narrowest) << "and it widened again";
}

}  // namespace
}  // namespace tally
