#include "ui/models/trend_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numbers/number_text.h"

namespace tally {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TrendModel::TrendModel(Context context, std::size_t capacity)
    : context_(std::move(context)), capacity_(std::max<std::size_t>(capacity, 1)) {
    // Once, so the ring never copies itself while growing; untouched pages cost nothing.
    rows_.reserve(capacity_);
}

void TrendModel::OnLineEvent(const LineEvent& event) {
    if (!anchor_) anchor_ = Anchor{event.utcMs, event.monoMicros};
    switch (event.type) {
        case LineEvent::Type::Opened:
        case LineEvent::Type::Closed:
            startAfresh();
            break;
        case LineEvent::Type::Outcome:
            if (event.request == LineRequest::ReadCounters) {
                takeCounterRead(event);
            } else if ((event.request == LineRequest::ClearCounters ||
                        event.request == LineRequest::PresetCounters) &&
                       OutcomeApplies(event.outcome)) {
                // The values still join up (the counter really went there); a rate
                // across the jump would not mean anything.
                rates_.Forget();
            }
            break;
        case LineEvent::Type::Request:
        case LineEvent::Type::CycleEnd:
        case LineEvent::Type::LateReply:
            break;
    }
}

void TrendModel::startAfresh() {
    breakNext_ = true;
    rates_.Forget();
}

void TrendModel::takeCounterRead(const LineEvent& event) {
    if (station_ && *station_ != event.station) startAfresh();
    station_ = event.station;

    TrendRow row;
    row.value.fill(kNoValue);
    row.rate.fill(kNoValue);
    // Rows stay in time order even if a stamp ever came late.
    row.micros =
        rows_.empty() ? event.monoMicros : std::max(event.monoMicros, At(rows_.size() - 1).micros);
    const int interval = context_.intervalSeconds ? context_.intervalSeconds() : 0;
    row.breakBefore = breakNext_;
    if (!rows_.empty() && interval > 0 &&
        row.micros - At(rows_.size() - 1).micros > 3LL * interval * 1'000'000) {
        row.breakBefore = true;
    }
    breakNext_ = false;

    const ReplyMeaning* meaning =
        OutcomeApplies(event.outcome) && event.meaning ? &*event.meaning : nullptr;
    if (meaning != nullptr && meaning->kind == ReplyMeaning::Kind::Counters) {
        const CounterRates::Values rates = rates_.Take(meaning->counters, row.micros, interval);
        for (std::size_t i = 0; i < row.value.size(); ++i) {
            if (!meaning->counters[i]) continue;
            const double m =
                context_.multiplier ? context_.multiplier(static_cast<int>(i) + 1) : 1.0;
            row.value[i] = Scaled(*meaning->counters[i], m);
            if (rates[i]) row.rate[i] = Scaled(*rates[i], m);
        }
    }
    push(row);
}

void TrendModel::push(const TrendRow& row) {
    if (rows_.size() < capacity_) {
        rows_.push_back(row);
    } else {
        rows_[head_] = row;
        head_ = (head_ + 1) % capacity_;
    }
    ++revision_;
    if (onRowAdded) onRowAdded();
}

std::size_t TrendModel::FirstAtOrAfter(std::int64_t micros) const {
    std::size_t lo = 0;
    std::size_t hi = rows_.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (At(mid).micros < micros) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

}  // namespace tally
