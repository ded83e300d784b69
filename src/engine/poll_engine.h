// The poll cycle and the one-slot command queue.
//
// The engine owns the conversation on the line: it sends the reads of a cycle,
// collects each reply on the 40 ms reply tick, hands complete replies to the
// window for decoding, reports the outcome and sends a waiting user command
// between two reads. It knows the window only through PollHost.
#pragma once

#include <string>

#include "engine/clock.h"
#include "engine/line_event.h"
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
    PollEngine(MainState& state, SerialComponent& port, Clock& clock, Timer& tmrRead, Timer& tmrNow,
               PollHost& host);

    // "Read" was ticked (the window has already updated its own controls):
    // resets PollStep's tens, sets AutoReadSeconds and the cycle interval, and
    // starts the first cycle at once. While a request is on the line the new
    // cycle replaces the rest of the current one once that reply is handled.
    void ReadTicked(int autoReadSeconds);

    void tmrNow_Timer();
    void PollNext();
    void tmrRead_Timer();
    // Sends the waiting command now, or leaves it in the slot while the line is busy.
    void Dispatch();

    void SendReadCounters();
    void SendReadInputs();
    void SendReadOutputs();

    // Writes the success text of the request just answered.
    void ShowSuccess(int pollStep);

    // One request on the line, always: a request is on the line from its write
    // until the reply tick that completes or times it out has finished (tmrRead
    // enabled, or a tmrRead_Timer still running: its decoder may open a modal
    // dialog that re-ticks "Read"). Nothing is written while this holds; a cycle
    // start asked for meanwhile waits until the reply tick ends with the line free.
    bool LineBusy() const;

    // Everything that happens on the line, for whoever listens.
    LineEvents& Events() { return events_; }

  private:
    bool sendRead(ReadKind kind);
    void dispatchNow();
    // Steps 2-11 of the reply tick; false when the tick only waited or stopped.
    bool handleReplyTick();
    void startDeferredCycle();
    bool restartWanted() const;
    // Both false after a port failure, which has then been reported.
    bool write(const std::string& frame);
    bool flushInput();
    void portFailed(const std::string& reason);

    MainState& state_;
    SerialComponent& port_;
    Clock& clock_;
    Timer& tmrRead_;
    Timer& tmrNow_;
    PollHost& host_;
    LineEvents events_;
    bool handlingReply_ = false;
    // A tmrNow tick fell while the line was busy: start a cycle after the current one.
    bool cycleDeferred_ = false;
    // "Read" was ticked while the line was busy: restart the cycle after this reply.
    bool restartPending_ = false;
};

// The success text for a step code: "Read OK", "Read DC Status OK" or "Write OK".
std::string SuccessText(int pollStep);

// The status text that announces a dispatched command, by the units digit of the
// step code; empty for a digit that names no command.
std::string CommandText(int pollStep, int counterSelector, int outputTarget);

}  // namespace tally
