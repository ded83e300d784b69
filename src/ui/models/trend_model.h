// What the trend chart remembers: the last eight hours of counter readings.
//
// One row per counter read, in a ring of fixed capacity, so the memory is the
// same after a week as after eight hours. A row keeps each channel's scaled
// value and scaled rate as the window had them at that read; a value that was
// not read (a failed read, a field missing from the reply, no rate yet) is NaN
// and is drawn as a gap, never as a point.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/line_event.h"
#include "log/counter_rates.h"

namespace tally {

constexpr int kTrendChannels = 8;

struct TrendRow {
    std::int64_t micros = 0;  // monotonic time of the reply
    // The line must not join this row to the one before: the port was closed or
    // reopened, the station changed, or reads stopped for more than three intervals.
    bool breakBefore = false;
    std::array<double, kTrendChannels> value{};  // raw x multiplier in force
    std::array<double, kTrendChannels> rate{};   // counts per second x multiplier
};

class TrendModel : public LineListener {
  public:
    // Eight hours at one read a second.
    static constexpr std::size_t kCapacity = 8 * 3600;

    struct Context {
        // The multiplier of channel k (1-8) in force now, as the monitor scales with it.
        std::function<double(int channel)> multiplier;
        // The poll interval in seconds; 0 for single reads.
        std::function<int()> intervalSeconds;
    };

    explicit TrendModel(Context context, std::size_t capacity = kCapacity);

    void OnLineEvent(const LineEvent& event) override;

    std::size_t Size() const { return rows_.size(); }
    std::size_t Capacity() const { return capacity_; }
    // Index 0 is the oldest row kept.
    const TrendRow& At(std::size_t index) const { return rows_[(head_ + index) % rows_.size()]; }
    // The index of the first row at or after `micros` (Size() if none); rows are in time order.
    std::size_t FirstAtOrAfter(std::int64_t micros) const;
    // Moves on with every row added, so a view can tell whether it is behind.
    std::uint64_t Revision() const { return revision_; }
    // Called after each row added: the chart redraws then, with no timer of its
    // own waking the program while nothing is read.
    std::function<void()> onRowAdded;

    // The first event seen: its instant (UTC) and monotonic time tie the
    // monotonic axis to the clock on the wall once, so a wall-clock step never
    // bends the line back.
    struct Anchor {
        std::int64_t utcMs = 0;
        std::int64_t micros = 0;
    };
    std::optional<Anchor> FirstEvent() const { return anchor_; }

  private:
    void takeCounterRead(const LineEvent& event);
    void push(const TrendRow& row);
    void startAfresh();

    Context context_;
    std::size_t capacity_;
    std::vector<TrendRow> rows_;
    std::size_t head_ = 0;  // the oldest row once the ring is full
    std::uint64_t revision_ = 0;
    std::optional<Anchor> anchor_;
    CounterRates rates_;
    bool breakNext_ = false;
    std::optional<int> station_;
};

}  // namespace tally
