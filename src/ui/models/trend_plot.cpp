#include "ui/models/trend_plot.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tally {
namespace {

double valueOf(const TrendRow& row, std::size_t channel, TrendMode mode) {
    return mode == TrendMode::Value ? row.value[channel] : row.rate[channel];
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The readings of one pixel column: the first, lowest, highest and last of them
// keep the column's picture.
class Column {
  public:
    bool Empty() const { return count_ == 0; }
    std::int64_t Index() const { return index_; }
    void Start(std::int64_t index, const TrendPoint& p) {
        index_ = index;
        first_ = low_ = high_ = last_ = p;
        count_ = 1;
    }
    void Add(const TrendPoint& p) {
        if (p.y < low_.y) low_ = p;
        if (p.y > high_.y) high_ = p;
        last_ = p;
        ++count_;
    }
    void FlushInto(std::vector<TrendPoint>& out) {
        if (count_ == 0) return;
        const TrendPoint* middle[2] = {&low_, &high_};
        if (high_.micros < low_.micros) std::swap(middle[0], middle[1]);
        const TrendPoint* order[4] = {&first_, middle[0], middle[1], &last_};
        for (const TrendPoint* p : order)
            if (out.empty() || out.back().micros != p->micros) out.push_back(*p);
        count_ = 0;
    }

  private:
    std::int64_t index_ = 0;
    TrendPoint first_, low_, high_, last_;
    int count_ = 0;
};

class TraceBuilder {
  public:
    TraceBuilder(ChannelTrace& trace, bool perColumn, std::int64_t columnMicros)
        : trace_(trace), perColumn_(perColumn), columnMicros_(columnMicros) {}

    void Gap() { gapPending_ = true; }

    void Add(const TrendPoint& p) {
        // A gap narrower than a pixel column cannot be seen; drawing it would only
        // scatter the line into pieces.
        if (gapPending_ && last_ && p.micros - last_->micros >= columnMicros_) endPiece();
        gapPending_ = false;
        last_ = p;
        if (!perColumn_) {
            piece_.push_back(p);
            return;
        }
        const std::int64_t index = floorDiv(p.micros, columnMicros_);
        if (!column_.Empty() && column_.Index() != index) column_.FlushInto(piece_);
        if (column_.Empty()) {
            column_.Start(index, p);
        } else {
            column_.Add(p);
        }
    }

    void Finish(std::size_t maxLines) {
        endPiece();
        if (trace_.lines.size() <= maxLines) return;
        // Keep the longest pieces as lines, in time order; the rest become dots.
        std::vector<std::size_t> order(trace_.lines.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
            return trace_.lines[a].size() > trace_.lines[b].size();
        });
        std::vector<bool> keep(trace_.lines.size(), false);
        for (std::size_t i = 0; i < maxLines; ++i)
            keep[order[i]] = true;
        std::vector<std::vector<TrendPoint>> kept;
        for (std::size_t i = 0; i < trace_.lines.size(); ++i) {
            if (keep[i]) {
                kept.push_back(std::move(trace_.lines[i]));
            } else {
                trace_.dots.insert(trace_.dots.end(), trace_.lines[i].begin(),
                                   trace_.lines[i].end());
            }
        }
        trace_.lines = std::move(kept);
        std::sort(trace_.dots.begin(), trace_.dots.end(),
                  [](const TrendPoint& a, const TrendPoint& b) { return a.micros < b.micros; });
    }

  private:
    void endPiece() {
        column_.FlushInto(piece_);
        if (piece_.size() >= 2) {
            trace_.lines.push_back(std::move(piece_));
        } else if (piece_.size() == 1) {
            trace_.dots.push_back(piece_.front());
        }
        piece_.clear();
    }

    ChannelTrace& trace_;
    bool perColumn_;
    std::int64_t columnMicros_;
    std::vector<TrendPoint> piece_;
    Column column_;
    std::optional<TrendPoint> last_;
    bool gapPending_ = false;
};

}  // namespace

TrendPlot BuildTrendPlot(const TrendModel& model, const TrendView& view) {
    TrendPlot plot;
    plot.toMicros = view.endMicros;
    plot.fromMicros = view.endMicros - std::max<std::int64_t>(view.spanMicros, 1);
    const std::size_t first = model.FirstAtOrAfter(plot.fromMicros);
    const std::size_t end = model.FirstAtOrAfter(plot.toMicros + 1);
    if (first >= end) return plot;

    const int columns = std::max(view.columns, 1);
    const std::int64_t columnMicros =
        std::max<std::int64_t>((plot.toMicros - plot.fromMicros) / columns, 1);
    const bool perColumn = end - first > 2 * static_cast<std::size_t>(columns);

    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (std::size_t k = 0; k < plot.channels.size(); ++k) {
        if (!view.shown[k]) continue;
        TraceBuilder builder(plot.channels[k], perColumn, columnMicros);
        for (std::size_t i = first; i < end; ++i) {
            const TrendRow& row = model.At(i);
            if (row.breakBefore) builder.Gap();
            const double y = valueOf(row, k, view.mode);
            if (!std::isfinite(y)) {
                builder.Gap();
                continue;
            }
            builder.Add({row.micros, y});
            if (!any || y < low) low = y;
            if (!any || y > high) high = y;
            any = true;
        }
        builder.Finish(std::max<std::size_t>(view.maxLines, 1));
    }
    if (any) plot.yRange = std::make_pair(low, high);
    return plot;
}

std::optional<TrendPoint> NearestReading(const TrendModel& model, int channel, TrendMode mode,
                                         std::int64_t micros, std::int64_t fromMicros,
                                         std::int64_t toMicros) {
    if (channel < 1 || channel > kTrendChannels) return std::nullopt;
    const auto k = static_cast<std::size_t>(channel - 1);
    const std::size_t first = model.FirstAtOrAfter(fromMicros);
    const std::size_t end = model.FirstAtOrAfter(toMicros + 1);
    const std::size_t at = std::clamp(model.FirstAtOrAfter(micros), first, end);
    // The mouse is on a drawn line, so a reading is close by; the search stays short.
    constexpr std::size_t kReach = 256;
    std::optional<TrendPoint> best;
    auto consider = [&](std::size_t i) {
        const TrendRow& row = model.At(i);
        const double y = valueOf(row, k, mode);
        if (!std::isfinite(y)) return;
        if (!best || std::llabs(row.micros - micros) < std::llabs(best->micros - micros))
            best = TrendPoint{row.micros, y};
    };
    for (std::size_t i = at; i < end && i < at + kReach; ++i)
        consider(i);
    for (std::size_t i = at; i > first && at - i < kReach; --i)
        consider(i - 1);
    return best;
}

std::pair<double, double> PaddedRange(const std::optional<std::pair<double, double>>& range) {
    if (!range) return {0.0, 1.0};
    const auto [low, high] = *range;
    const double room = high > low ? (high - low) * 0.05 : low == 0.0 ? 1.0 : std::fabs(low) * 0.01;
    // Counts and rates are not negative: the room stops at zero rather than
    // showing a negative scale nothing can reach.
    const double bottom = low >= 0.0 ? std::max(low - room, 0.0) : low - room;
    const double top = high < 0.0 ? std::min(high + room, 0.0) : high + room;
    return {bottom, top};
}

AxisScale NiceScale(double low, double high, int ticks) {
    if (!(high > low) || !std::isfinite(low) || !std::isfinite(high)) return {low, high, 2, 0};
    const double rough = (high - low) / std::max(ticks - 1, 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) break;
    }
    AxisScale scale;
    scale.min = std::floor(low / step) * step;
    scale.max = std::ceil(high / step) * step;
    scale.ticks = static_cast<int>(std::lround((scale.max - scale.min) / step)) + 1;
    scale.decimals =
        step >= 1.0 ? 0 : std::min(4, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    return scale;
}

double EdgeStepMs(int spanSeconds) {
    return std::max(spanSeconds, 60) * 1000.0 / 60.0;
}

double RightEdgeMs(std::optional<double> drawnMs, double newestMs, double stepMs) {
    if (drawnMs && newestMs > *drawnMs)
        return *drawnMs + std::ceil((newestMs - *drawnMs) / stepMs) * stepMs;
    if (drawnMs && *drawnMs - newestMs < stepMs) return *drawnMs;
    return std::ceil(newestMs / stepMs) * stepMs;
}

int RefreshMillis(std::int64_t spanMicros, int columns) {
    const std::int64_t twoColumns = 2 * spanMicros / 1000 / std::max(columns, 1);
    return static_cast<int>(std::clamp<std::int64_t>(twoColumns, 500, 60'000));
}

}  // namespace tally
