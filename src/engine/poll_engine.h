// The poll cycle and the one-slot command queue.
//
// The engine owns the conversation on the line: it sends the reads of a cycle,
// collects each reply on the 40 ms reply tick, hands complete replies to the
// window for decoding, reports the outcome and sends a waiting user command
// between two reads. It knows the window only through PollHost.
#pragma once

#include <string>

#include "engine/clock.h"
#include "engine/main_state.h"
#include "engine/timer.h"
#include "serial/serial_component.h"

namespace tally {

enum class ReadKind { Counters = 0, Inputs = 1, Outputs = 2 };

// What the engine needs from the window.
class PollHost {
public:
    virtual ~PollHost() = default;
    // The connection lamp: solid while the port is open.
    virtual bool LineOpen() const = 0;
    virtual bool ReadTicked() const = 0;
    // Unticks "Read"; the window runs its click handling, as for a user click.
    virtual void UntickRead() = 0;
    // Value (0/1) of the DC, DI or DO box at this moment.
    virtual int ReadBoxValue(ReadKind kind) const = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    // Decode RxBuffer into the channel state and the window (PollStep says what it answers).
    virtual void DecodeReply() = 0;
    // Return every busy marker to normal (and free the counter boxes).
    virtual void ClearBusyMarkers() = 0;
    // Whole-number value of the counter selector's text ("All" gives 0).
    virtual int CounterSelectorNumber() const = 0;
    // The port failed while in use (adapter gone): go off line, keep the reason.
    virtual void PortFailed(const std::string& reason) = 0;
};

class PollEngine {
public:
    PollEngine(MainState& state, SerialComponent& port, Clock& clock, Timer& tmrRead,
               Timer& tmrNow, PollHost& host);

    // "Read" was ticked (the window has already updated its own controls):
    // resets PollStep's tens, sets AutoReadSeconds and the cycle interval, and
    // starts the first cycle at once.
    void ReadTicked(int autoReadSeconds);

    void tmrNow_Timer();
    void PollNext();
    void tmrRead_Timer();
    void Dispatch();

    void SendReadCounters();
    void SendReadInputs();
    void SendReadOutputs();

    // Writes the success text of the request just answered.
    void ShowSuccess(int pollStep);

    // A request is on the line and its reply not yet handled.
    bool LineBusy() const;

private:
    void sendRead(ReadKind kind);
    bool write(const std::string& frame);

    MainState& state_;
    SerialComponent& port_;
    Clock& clock_;
    Timer& tmrRead_;
    Timer& tmrNow_;
    PollHost& host_;
    bool handlingReply_ = false;
    bool cycleDeferred_ = false;
};

// The success text for a step code: "Read OK", "Read DC Status OK" or "Write OK".
std::string SuccessText(int pollStep);

}  // namespace tally
