// The line's counters: requests, good replies, failures by kind, and reply times.
//
// Pure bookkeeping over the line events, shown by the line monitor. Counts start
// again when the port is opened and when the operator resets them, and always add
// up: requests = good replies + timeouts + errors + exceptions, plus one while a
// request is on the line. The reply times cover the last ReplyWindow good replies
// only, so a long session does not hide a module that has just started answering late.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/line_event.h"

namespace tally {

struct ReplyTimeSummary {
    std::size_t count = 0;  // good replies the figures cover (0: no figures)
    double minMs = 0.0;
    double meanMs = 0.0;
    double p95Ms = 0.0;  // nearest rank: 95 % of the replies took this long or less
    double maxMs = 0.0;
};

class LineStatistics {
  public:
    static constexpr std::size_t ReplyWindow = 1000;

    void Add(const LineEvent& event);
    void Reset();

    std::uint64_t Requests() const { return requests_; }
    std::uint64_t Replies() const { return replies_; }
    std::uint64_t Timeouts() const { return timeouts_; }
    // Checksum errors and bad replies.
    std::uint64_t Errors() const { return errors_; }
    std::uint64_t Exceptions() const { return exceptions_; }

    // Over the last ReplyWindow good replies; costs a partial sort of that window.
    ReplyTimeSummary ReplyTimes() const;

  private:
    std::uint64_t requests_ = 0;
    std::uint64_t replies_ = 0;
    std::uint64_t timeouts_ = 0;
    std::uint64_t errors_ = 0;
    std::uint64_t exceptions_ = 0;
    bool inFlight_ = false;
    // A ring of the newest reply times; next_ is where the next one goes.
    std::array<double, ReplyWindow> times_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

}  // namespace tally
