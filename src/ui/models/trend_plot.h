// What the trend chart draws for one span of time: pure, so it is tested and
// measured without a window.
//
// A span holds up to 28 800 readings per channel and the chart is a few hundred
// pixels wide, so where several readings share a pixel column only the first,
// lowest, highest and last of each column are drawn: the picture is the same,
// the work is bounded by the width. A gap shorter than a column cannot be seen
// at that scale and is joined; wider ones, and every gap where each reading has
// its own column, break the line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "ui/models/trend_model.h"

namespace tally {

enum class TrendMode { Value, Rate };

struct TrendSpan {
    const char* text;
    int seconds;
};
inline constexpr std::array<TrendSpan, 4> kTrendSpans{{
    {"1 min", 60},
    {"10 min", 600},
    {"1 h", 3600},
    {"8 h", 8 * 3600},
}};
constexpr int kDefaultTrendSpan = 1;  // "10 min"

struct TrendPoint {
    std::int64_t micros = 0;
    double y = 0.0;
};

struct ChannelTrace {
    // Runs of joined readings, each of at least two points, in time order.
    std::vector<std::vector<TrendPoint>> lines;
    // Readings with no neighbour to join (a gap on both sides), shown as dots.
    std::vector<TrendPoint> dots;
};

struct TrendView {
    TrendMode mode = TrendMode::Value;
    std::int64_t endMicros = 0;  // the right edge: the newest reading, or where the chart paused
    std::int64_t spanMicros = 600'000'000;
    int columns = 800;  // pixel columns of the plot area
    std::array<bool, kTrendChannels> shown{true, true, true, true, true, true, true, true};
    // A channel's line is broken into at most this many pieces; readings in the
    // shorter pieces beyond it are shown as dots (a line failing every other read).
    std::size_t maxLines = 16;
};

struct TrendPlot {
    std::int64_t fromMicros = 0;
    std::int64_t toMicros = 0;
    std::array<ChannelTrace, kTrendChannels> channels;
    // The lowest and highest value drawn over the shown channels; none if nothing is drawn.
    std::optional<std::pair<double, double>> yRange;
};

TrendPlot BuildTrendPlot(const TrendModel& model, const TrendView& view);

// The reading of a channel nearest in time to `micros` within [fromMicros, toMicros],
// for the tooltip of the line under the mouse.
std::optional<TrendPoint> NearestReading(const TrendModel& model, int channel, TrendMode mode,
                                         std::int64_t micros, std::int64_t fromMicros,
                                         std::int64_t toMicros);

// The Y axis: what is drawn with a little room above and below; a flat line gets
// room of its own, an empty chart 0 to 1.
std::pair<double, double> PaddedRange(const std::optional<std::pair<double, double>>& range);

// A Y axis on round numbers around [low, high]: ticks 1, 2 or 5 times a power of
// ten apart, about `ticks` of them (Qt's own rounding sets the range twice, and every
// range set makes the chart lay out each series again).
struct AxisScale {
    double min = 0.0;
    double max = 1.0;
    int ticks = 2;
    int decimals = 0;  // enough to tell the ticks apart
};
AxisScale NiceScale(double low, double high, int ticks);

// The chart's right edge on the time axis (milliseconds since the epoch) runs
// ahead of the newest reading by up to a step, a sixtieth of the span (2 s on
// "1 min", 10 s on "10 min": a dozen pixels). Every move of an axis makes the
// chart lay out and repaint everything (axes, labels, grid, every line), so the
// edge stays put while the newest reading is behind it, and when a reading
// passes it, it moves on by whole steps.
double EdgeStepMs(int spanSeconds);
// The edge for the newest reading, from the edge drawn before (none: the first
// whole step at or after the reading). An edge a step or more ahead (the span
// was made shorter) starts again from the reading.
double RightEdgeMs(std::optional<double> drawnMs, double newestMs, double stepMs);

// How often at most the chart redraws after readings: once per two pixel columns
// of time, at least half a second and at most a minute apart, and no reading
// waits longer than that to be drawn. A redraw costs the same whether the line's
// end moved by one pixel or by two, and two pixels (about 1.5 s on "10 min") are
// too few for the eye to find the wait; on "8 h" the newest reading moves the
// line by less than a column for half a minute, so redrawing sooner shows
// nothing new.
int RefreshMillis(std::int64_t spanMicros, int columns);

}  // namespace tally
