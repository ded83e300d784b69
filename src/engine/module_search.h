// The module search: tries the combinations of the plan one probe at a time and
// keeps the modules that answered.
//
// It never touches the line itself: the line's owner opens the port at each
// rate, writes each probe and reports how it ended as a line event.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/line_event.h"
#include "engine/module_search_plan.h"

namespace tally {

struct FoundModule {
    int baud = 0;
    Protocol protocol = Protocol::Own;
    int station = 0;
    // Of the first of the two replies that found it.
    double replyMs = 0.0;
};

// What the search needs of the line's owner.
class ProbeLine {
  public:
    virtual ~ProbeLine() = default;
    // Opens the search's port at this rate, closing it first if it is open.
    // Throws SerialError when it cannot.
    virtual void OpenAt(int baud) = 0;
    // Closes the search's port, if open; never fails.
    virtual void Close() = 0;
    // Writes the probe. It ends with one Outcome line event of request Probe,
    // reported once the line is free again, so the next probe may be sent from
    // within that event. Throws SerialError when the port failed.
    virtual void SendProbe(const Probe& probe) = 0;
};

// A valid reply, or a valid Modbus exception reply: either way a module that
// understood the frame answered at this rate, protocol and station.
bool ProbeFound(const Outcome& outcome);

class ModuleSearch : public LineListener {
  public:
    ModuleSearch(ProbeLine& line, const Clock& clock);

    // Starts a search; false, with nothing done, when the choices leave nothing to try.
    bool Start(const SearchChoices& choices);
    // Ends the search once the probe on the line has ended, then closes the port.
    void Stop();
    // The port failed under the search: it ends at once, keeping the reason.
    void LineFailed(const std::string& reason);

    bool Running() const { return running_; }
    bool Stopping() const { return running_ && stopWanted_; }
    // Probes ended, of all planned; the confirmation of a reply is not counted.
    int Done() const { return static_cast<int>(index_); }
    int Total() const { return static_cast<int>(plan_.size()); }
    // The probe on the line (or about to go); nullptr when not running.
    const Probe* Current() const;
    const std::vector<FoundModule>& Found() const { return found_; }
    // Since Start; frozen when the search ends.
    std::int64_t ElapsedMicros() const;
    // The planned waits still ahead, at the pace the search has kept so far.
    std::int64_t RemainingMicros() const;
    // Why the last search ended early; empty if it ran to its end or was stopped.
    const std::string& Failure() const { return failure_; }

    // Called after every change: a probe sent, a module found, the search ended.
    std::function<void()> onChange;

    void OnLineEvent(const LineEvent& event) override;

  private:
    void send();
    void next();
    void finish(const std::string& failure);
    void changed();

    ProbeLine& line_;
    const Clock& clock_;
    std::vector<Probe> plan_;
    // Planned wait of plan_[i] and everything after it.
    std::vector<std::int64_t> waitFrom_;
    std::size_t index_ = 0;
    int openBaud_ = 0;
    bool stopAtFirst_ = true;
    bool running_ = false;
    bool stopWanted_ = false;
    bool awaiting_ = false;
    // A first valid reply waits for the same reply once more before it counts:
    // the own protocol has no checksum, so one lucky garbled reply could pass.
    bool confirming_ = false;
    std::string firstReply_;
    double firstReplyMs_ = 0.0;
    std::vector<FoundModule> found_;
    std::string failure_;
    std::int64_t startMicros_ = 0;
    std::int64_t endMicros_ = 0;
};

}  // namespace tally
