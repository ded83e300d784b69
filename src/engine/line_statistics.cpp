#include "engine/line_statistics.h"

#include <algorithm>
#include <numeric>

namespace tally {

void LineStatistics::Add(const LineEvent& event) {
    switch (event.type) {
        case LineEvent::Type::Opened:
            Reset();
            return;
        case LineEvent::Type::Request:
            ++requests_;
            inFlight_ = true;
            return;
        case LineEvent::Type::Outcome:
            inFlight_ = false;
            break;
        case LineEvent::Type::Closed:
            // A request the closing cut off has no outcome: it is not counted either.
            if (inFlight_) --requests_;
            inFlight_ = false;
            return;
        case LineEvent::Type::CycleEnd:
        case LineEvent::Type::LateReply:  // its request's time out is counted already
            return;
    }
    switch (event.outcome.kind) {
        case OutcomeKind::Success:
            ++replies_;
            times_[next_] = event.replyMs;
            next_ = (next_ + 1) % ReplyWindow;
            count_ = std::min(count_ + 1, ReplyWindow);
            break;
        case OutcomeKind::TimeOut:
            ++timeouts_;
            break;
        case OutcomeKind::ChecksumError:
        case OutcomeKind::BadReply:
            ++errors_;
            break;
        case OutcomeKind::Exception:
            ++exceptions_;
            break;
    }
}

void LineStatistics::Reset() {
    // The request on the line still ends in an outcome that will be counted.
    const bool inFlight = inFlight_;
    *this = LineStatistics();
    inFlight_ = inFlight;
    requests_ = inFlight ? 1 : 0;
}

ReplyTimeSummary LineStatistics::ReplyTimes() const {
    ReplyTimeSummary summary;
    summary.count = count_;
    if (count_ == 0) return summary;
    // The ring is full or filled from index 0, so the first count_ entries are the window.
    std::array<double, ReplyWindow> sorted;
    const auto begin = sorted.begin();
    const auto end = std::copy_n(times_.begin(), count_, begin);
    const auto [low, high] = std::minmax_element(begin, end);
    summary.minMs = *low;
    summary.maxMs = *high;
    summary.meanMs = std::accumulate(begin, end, 0.0) / static_cast<double>(count_);
    // Nearest rank: the smallest value with at least 95 % of the replies at or below it.
    const std::size_t rank = (count_ * 95 + 99) / 100;
    const auto p95 = begin + static_cast<std::ptrdiff_t>(rank - 1);
    std::nth_element(begin, p95, end);
    summary.p95Ms = *p95;
    return summary;
}

}  // namespace tally
