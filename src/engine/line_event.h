// What happens on the line, as one stream of events.
//
// The engine reports every request it writes and how each one ended; the status
// line, the line monitor, the statistics, the counter log and the trend chart
// listen. Listeners only watch: nothing they do reaches the line.
#pragma once

#include <algorithm>
#include <cstdint>
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
        CycleEnd,  // a poll cycle that sent at least one read has ended, for any reason
    };
    Type type = Type::Request;
    // Request and Outcome: the request concerned.
    LineRequest request = LineRequest::ReadCounters;
    Protocol protocol = Protocol::Own;
    int station = 0;
    std::string bytes;
    // Outcome only.
    tally::Outcome outcome;
    std::string statusText;  // as the status line shows it
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

class LineListener {
  public:
    virtual ~LineListener() = default;
    virtual void OnLineEvent(const LineEvent& event) = 0;
};

// Hands each event to every listener, in the order they were added.
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
    void Emit(const LineEvent& event) const {
        // A copy: a listener may remove itself while it is told.
        const std::vector<LineListener*> listeners = listeners_;
        for (LineListener* listener : listeners)
            listener->OnLineEvent(event);
    }

  private:
    std::vector<LineListener*> listeners_;
};

}  // namespace tally
