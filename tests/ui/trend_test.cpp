// The trend chart's memory and what it draws, without a window.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "ui/models/time_axis.h"
#include "ui/models/trend_model.h"
#include "ui/models/trend_plot.h"

namespace tally {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

using Counters = std::array<std::optional<double>, 8>;

Counters All(double value) {
    Counters counters;
    counters.fill(value);
    return counters;
}

LineEvent Event(LineEvent::Type type, std::int64_t second) {
    LineEvent event;
    event.type = type;
    event.station = 1;
    event.monoMicros = second * kSecond;
    return event;
}

// A counter read at `second`; nullopt counters were missing from the reply.
LineEvent Read(std::int64_t second, const Counters& counters) {
    LineEvent event = Event(LineEvent::Type::Outcome, second);
    event.meaning = ReplyMeaning{ReplyMeaning::Kind::Counters, counters, {}, {}};
    return event;
}

LineEvent FailedRead(std::int64_t second) {
    LineEvent event = Event(LineEvent::Type::Outcome, second);
    event.outcome = Outcome::Of(OutcomeKind::TimeOut);
    return event;
}

TEST(TrendModel, KeepsScaledValuesAndRatesAndMarksWhatWasNotRead) {
    TrendModel model({[](int) { return 2.0; }, [] { return 1; }}, 100);  // x2, every second
    model.OnLineEvent(Read(1, All(4294967290.0)));
    model.OnLineEvent(Read(2, All(4.0)));  // ten counts across the wrap
    auto partial = All(30.0);
    partial[2] = std::nullopt;
    model.OnLineEvent(Read(3, partial));
    model.OnLineEvent(FailedRead(4));
    ASSERT_EQ(model.Size(), 4u);
    EXPECT_EQ(model.At(0).value[0], 2.0 * 4294967290.0);
    EXPECT_TRUE(std::isnan(model.At(0).rate[0])) << "no rate from a first reading";
    EXPECT_EQ(model.At(1).rate[0], 20.0);
    EXPECT_EQ(model.At(2).rate[0], 52.0);
    EXPECT_TRUE(std::isnan(model.At(2).value[2])) << "a missing field is a gap, not stale";
    EXPECT_TRUE(std::isnan(model.At(2).rate[2]));
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_TRUE(std::isnan(model.At(3).value[k])) << "a failed read is a gap";

    // A preset forgets the rate; a closed port, a new station or a silence break the line.
    LineEvent preset = Event(LineEvent::Type::Outcome, 5);
    preset.request = LineRequest::PresetCounters;
    model.OnLineEvent(preset);
    model.OnLineEvent(Read(6, All(1000.0)));
    model.OnLineEvent(Event(LineEvent::Type::Closed, 7));
    model.OnLineEvent(Read(8, All(1001.0)));
    model.OnLineEvent(Read(12, All(1002.0)));
    LineEvent otherStation = Read(13, All(1003.0));
    otherStation.station = 2;
    model.OnLineEvent(otherStation);
    EXPECT_TRUE(std::isnan(model.At(4).rate[0]));
    EXPECT_FALSE(model.At(4).breakBefore);
    EXPECT_TRUE(model.At(5).breakBefore) << "port closed";
    EXPECT_TRUE(model.At(6).breakBefore) << "four seconds at a 1 s interval";
    EXPECT_TRUE(model.At(7).breakBefore) << "another station";
    TrendView view;
    view.endMicros = 13 * kSecond;
    const TrendPlot plot = BuildTrendPlot(model, view);
    EXPECT_EQ(plot.channels[0].lines.size(), 1u);
    EXPECT_EQ(plot.channels[0].dots.size(), 4u) << "each break starts a new piece";
}

TEST(TrendPlot, AFlakyLineKeepsItsLongestPiecesAndGapsNarrowerThanAColumnJoin) {
    TrendModel model({[](int) { return 2.0; }, [] { return 1; }}, 100);  // x2, every second
    // 1-3, 5-6, 8 alone and 10-11, between failed reads.
    for (int s = 1; s <= 11; ++s)
        model.OnLineEvent(s == 4 || s == 7 || s == 9 ? FailedRead(s) : Read(s, All(s)));
    TrendView view;
    view.endMicros = 11 * kSecond;
    view.spanMicros = 60 * kSecond;
    view.shown = {true, false, true, true, true, true, true, true};
    view.maxLines = 2;
    TrendPlot plot = BuildTrendPlot(model, view);
    ASSERT_EQ(plot.channels[0].lines.size(), 2u);
    EXPECT_EQ(plot.channels[0].lines[1].front().micros, 5 * kSecond);
    EXPECT_EQ(plot.channels[0].dots.size(), 3u) << "8 alone, 10-11 beyond the limit";
    EXPECT_TRUE(plot.channels[1].lines.empty()) << "unticked channels are not drawn";
    EXPECT_EQ(*plot.yRange, std::make_pair(2.0, 22.0));

    // Eight hours on 100 columns: a one-second gap is far narrower than a column.
    view.spanMicros = 8 * 3600 * kSecond;
    view.columns = 100;
    plot = BuildTrendPlot(model, view);
    EXPECT_EQ(plot.channels[0].lines.size(), 1u);
    EXPECT_TRUE(plot.channels[0].dots.empty());
}

// 72 s a column: a spike at 5000 s and a dip at 5010 s share the column of 4944-5015 s,
// and each column keeps its highest and its lowest reading, in the order they came.
TEST(TrendPlot, ManyReadingsPerColumnKeepTheirExtremesInTimeOrderAndTheRingItsNewest) {
    TrendModel model({[](int) { return 1.0; }, [] { return 1; }});
    for (int s = 1; s <= 30'000; ++s)
        model.OnLineEvent(Read(s, All(s == 5000 ? 1e9 : s == 5010 ? 3.0 : 1000.0 + s % 7)));
    ASSERT_EQ(model.Size(), 28'800u);
    EXPECT_EQ(model.At(0).micros, 1201 * kSecond);
    TrendView view;
    view.endMicros = 30'000 * kSecond;
    view.spanMicros = 8 * 3600 * kSecond;
    view.columns = 400;
    const TrendPlot plot = BuildTrendPlot(model, view);
    const ChannelTrace& trace = plot.channels[0];
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_LE(trace.lines[0].size(), 4u * 401u);
    EXPECT_EQ(*plot.yRange, std::make_pair(3.0, 1e9));
    const auto& line = trace.lines[0];
    const auto at = [&line](std::int64_t second) {
        const auto p = std::find_if(line.begin(), line.end(), [&](const TrendPoint& p) {
            return p.micros == second * kSecond;
        });
        return p == line.end() ? -1.0 : p->y;
    };
    EXPECT_EQ(at(5000), 1e9) << "the spike must survive";
    EXPECT_EQ(at(5010), 3.0) << "and the dip after it";
    const auto backwards = [](const TrendPoint& a, const TrendPoint& b) {
        return a.micros >= b.micros;
    };
    EXPECT_EQ(std::adjacent_find(line.begin(), line.end(), backwards), line.end());

    const auto nearest =
        NearestReading(model, 1, TrendMode::Value, 5000 * kSecond + 400'000, 0, view.endMicros);
    ASSERT_TRUE(nearest);
    EXPECT_EQ(nearest->y, 1e9);
}

// Ticks of the time axis as local "hh:mm" (or "hh:mm:ss") texts, and their UTC instants.
std::int64_t Utc(const char* iso) {
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate).toMSecsSinceEpoch();
}
// The offset at each instant in a named zone, as the system's zone would give it there.
UtcOffsetAt Zone(const char* zoneId) {
    return [zone = QTimeZone(zoneId)](std::int64_t utcMs) {
        return zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC));
    };
}
QStringList TickLabels(const char* endIso, int span, const char* zoneId) {
    const UtcOffsetAt zone = Zone(zoneId);
    QStringList labels;
    for (const std::int64_t tick : TimeAxisTicks(Utc(endIso), span, zone))
        labels << TimeTickLabel(tick, span, zone);
    return labels;
}

TEST(TimeAxis, TheRightEdgeStaysAheadOfTheNewestReadingAndMovesInWholeSteps) {
    const double step = EdgeStepMs(600);  // 10 s
    EXPECT_EQ(RightEdgeMs(std::nullopt, 1'000'003.0, step), 1'010'000.0);
    EXPECT_EQ(RightEdgeMs(1'010'000.0, 1'009'999.0, step), 1'010'000.0);
    // Past it, after a pause too: whole steps from where it was.
    EXPECT_EQ(RightEdgeMs(1'012'500.0, 1'071'000.0, step), 1'072'500.0);
    // A shorter span: an edge a step or more ahead starts again from the reading.
    EXPECT_EQ(RightEdgeMs(1'060'000.0, 1'000'500.0, EdgeStepMs(60)), 1'001'000.0);
}

TEST(TimeAxis, TicksFallOnRoundLocalTimesAcrossBothClockChanges) {
    // 10 s, 2 min, 10 min, 1 h: both ends of the span may be ticks.
    EXPECT_EQ(TickLabels("2026-07-01T10:00:00Z", 60, "Europe/Berlin"),
              QStringList({"11:59:00", "11:59:10", "11:59:20", "11:59:30", "11:59:40", "11:59:50",
                           "12:00:00"}));
    EXPECT_EQ(TickLabels("2026-07-01T10:03:17.5Z", 600, "Europe/Berlin"),
              QStringList({"11:54", "11:56", "11:58", "12:00", "12:02"}));
    // Local time, not UTC: half past on the UTC clock is the hour in India.
    EXPECT_EQ(TickLabels("2026-07-01T08:45:00Z", 3600, "Asia/Kolkata"),
              QStringList({"13:20", "13:30", "13:40", "13:50", "14:00", "14:10"}));
    const std::vector<std::int64_t> india =
        TimeAxisTicks(Utc("2026-07-01T08:45:00Z"), 8 * 3600, Zone("Asia/Kolkata"));
    ASSERT_EQ(india.size(), 8u);
    EXPECT_EQ(india.front(), Utc("2026-07-01T01:30:00Z"));

    // Autumn: the repeated hour has its round time twice, an hour apart.
    const char* const berlin = "Europe/Berlin";
    EXPECT_EQ(
        TickLabels("2026-10-25T03:30:00Z", 8 * 3600, berlin),
        QStringList({"22:00", "23:00", "00:00", "01:00", "02:00", "02:00", "03:00", "04:00"}));
    const std::vector<std::int64_t> autumn =
        TimeAxisTicks(Utc("2026-10-25T03:30:00Z"), 8 * 3600, Zone(berlin));
    for (std::size_t i = 1; i < autumn.size(); ++i)
        EXPECT_EQ(autumn[i] - autumn[i - 1], 3'600'000);
    // Spring: the skipped hour has no tick; the others keep their round times.
    EXPECT_EQ(TickLabels("2026-03-29T01:25:00Z", 3600, berlin),
              QStringList({"01:30", "01:40", "01:50", "03:00", "03:10", "03:20"}));
    EXPECT_EQ(TickLabels("2026-03-29T03:00:00Z", 4 * 3600, berlin).join(' '),
              "00:00 01:00 03:00 04:00 05:00");
}

}  // namespace
}  // namespace tally
