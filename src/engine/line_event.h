// What happens on the line, as one stream of events.
//
// The engine reports every request it writes and how each one ended; the status
// line, the line monitor, the statistics, the counter log and the trend chart
// listen. Listeners only watch: nothing they do reaches the line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "protocol/outcome.h"
#include "protocol/protocol.h"
#include "protocol/reply_decoder.h"

namespace tally {

// What a request asks of the module.
enum class LineRequest : std::uint8_t {
    ReadCounters,
    ReadInputs,
    ReadOutputs,
    ClearCounters,
    PresetCounters,
    WriteOutputs,
    ReadEnable,
    WriteEnable,
    Probe,
};

struct LineEvent {
    enum class Type : std::uint8_t {
        Opened,    // the port was opened (statistics start again)
        Closed,    // the port was closed, or failed
        Request,   // a request was written; bytes = the frame
        Outcome,   // the request in flight ended; bytes = what was received for it
        CycleEnd,  // a station's poll cycle that sent at least one read has ended, for any reason
        // An answer still arriving at its request's deadline has become whole after the
        // request's Outcome (a time out): bytes = the whole answer, replyMs = when it
        // became whole. It is dropped: never decoded, never taken for another request.
        LateReply,
    };
    Type type = Type::Request;
    // Request, Outcome and LateReply: the request concerned; CycleEnd: the station polled.
    LineRequest request = LineRequest::ReadCounters;
    Protocol protocol = Protocol::Own;
    int station = 0;
    std::string bytes;
    // Outcome and LateReply (whose outcome is the time out it came after).
    tally::Outcome outcome;
    std::string statusText;  // as the status line shows it; kLateReplyText for a LateReply
    // From the request's last byte written to the reply's completion (or the
    // deadline), in milliseconds with microsecond resolution.
    double replyMs = 0.0;
    // A valid reply's meaning, for listeners that keep values (log, chart).
    std::optional<ReplyMeaning> meaning;
    // The instant, milliseconds since the epoch (UTC): for what is shown or written.
    std::int64_t utcMs = 0;
    // Monotonic time in microseconds: for every duration.
    std::int64_t monoMicros = 0;
};

// What the line monitor says of a LateReply; the status line keeps "Time Out".
inline constexpr char kLateReplyText[] = "Late Reply (dropped)";

class LineListener {
  public:
    virtual ~LineListener() = default;
    virtual void OnLineEvent(const LineEvent& event) = 0;
};

// Hands each event to every listener. Events reach every listener in the order
// they happened, whatever a listener does in response: an event emitted while
// another is being delivered (the search sending its next probe from inside the
// last probe's Outcome) waits until the current one has reached every listener.
// So no listener's view depends on the order in which listeners were added.
class LineEvents {
  public:
    void Add(LineListener* listener) {
        if (listener != nullptr &&
            std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
            listeners_.push_back(listener);
        }
    }
    void Remove(LineListener* listener) {
        listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener),
                         listeners_.end());
    }
    void Emit(const LineEvent& event) {
        queue_.push_back(event);
        if (delivering_) return;
        Delivering guard(*this);
        while (!queue_.empty()) {
            const LineEvent next = std::move(queue_.front());
            queue_.pop_front();
            // A copy: a listener may add or remove listeners while it is told; one
            // removed meanwhile is not told any more.
            const std::vector<LineListener*> listeners = listeners_;
            for (LineListener* listener : listeners) {
                if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
                    listener->OnLineEvent(next);
            }
        }
    }

  private:
    // Delivery ends, even when a listener throws; what waited is dropped with it.
    class Delivering {
      public:
        explicit Delivering(LineEvents& events) : events_(events) { events_.delivering_ = true; }
        ~Delivering() {
            events_.delivering_ = false;
            events_.queue_.clear();
        }
        Delivering(const Delivering&) = delete;
        Delivering& operator=(const Delivering&) = delete;

      private:
        LineEvents& events_;
    };

    std::vector<LineListener*> listeners_;
    std::deque<LineEvent> queue_;
    bool delivering_ = false;
};

}  // namespace tally
