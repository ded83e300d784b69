// The poll cycle and the one-slot command queue.
//
// The engine owns the conversation on the line: it sends the reads of a cycle,
// collects each reply as its bytes arrive (and on the 40 ms reply tick), judges
// it (CheckReply) and hands a good one to the window, reports the outcome, and
// sends a waiting user command between two reads. Every request it writes and
// how each one ended go out as LineEvents. It knows the window only through
// PollHost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/line_event.h"
#include "engine/main_state.h"
#include "engine/module_search_plan.h"
#include "engine/timer.h"
#include "protocol/outcome.h"
#include "protocol/reply_decoder.h"
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
    // Applies a good reply's meaning, decoded by the engine in the protocol its
    // request went out in. Without an override the host decodes RxBuffer itself.
    virtual void ApplyReply(const ReplyMeaning& meaning) {
        static_cast<void>(meaning);
        DecodeReply();
    }
    // The same, naming the station that answered; a host that shows one station of
    // several keeps only that station's replies. Without an override: ApplyReply.
    virtual void ApplyStationReply(int station, const ReplyMeaning& meaning) {
        static_cast<void>(station);
        ApplyReply(meaning);
    }
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

    // Listeners of the line (status statistics, line monitor, logs) are added here.
    LineEvents& Events() { return events_; }

    // The port has just been opened, or closed (also after a failure). Both empty
    // RxBuffer and the input, so no stale byte is taken for a reply, and start the
    // poll cycle afresh; closing abandons the request in flight.
    void LineOpened();
    void LineClosed();

    // Received bytes are waiting (the serial component says so): the reply in
    // flight is looked at now rather than at the next reply tick.
    void BytesArrived();

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

    // The enable dialog's flag write: written at once when nothing is in flight
    // (the dialog is open while polling pauses); false when it was not sent. Its
    // reply is collected as it arrives; EnableWriteOutcome, called when the
    // dialog checks, settles it (a reply not complete by then is a timeout).
    bool SendEnableWrite(const std::string& frame);
    Outcome EnableWriteOutcome();

    // One request on the line, always: a request is on the line from its write
    // until the reply tick that completes or times it out has finished (tmrRead
    // enabled, or a tmrRead_Timer still running: its decoder may open a modal
    // dialog that re-ticks "Read"), and after it while the line still carries an
    // answer (a broken one, or one late at its deadline) until it has been quiet.
    // Nothing is written while this holds; a cycle start asked for meanwhile waits
    // until the reply tick ends with the line free.
    bool LineBusy() const;

    // --- Several stations on the line (a headless run) ---
    // Each cycle reads each station in this order, its reads (the ticked boxes)
    // as for the one station, the next station's first request as soon as the
    // reply before is judged; a read that fails gives up the rest of that
    // station's reads only. Each station's part ends with its own CycleEnd.
    // Empty: the one station of StationHex. A list given while a cycle is under
    // way is taken at the next cycle's start; that cycle walks the old one to its end.
    void SetStations(std::vector<int> stations);

    // Reads a station's outputs once more, after the command in flight and before
    // anything else: after an output write, the next reading shows what the module
    // now drives. Only a headless run's commands ask for it.
    void ReadOutputsBack(int station);

    // --- Quiet before each request ---
    // Modbus RTU frames are told apart by silence: before every RTU request the
    // line has been quiet for 3.5 characters (RtuSilenceMicros) since the last
    // byte received or sent. `pauseMs` adds quiet before every request in every
    // protocol, for RS-485 converters slow to release the bus. A request that
    // must wait is on the line (LineBusy) but written only when the quiet timer
    // says so; without that timer the engine waits in place.
    void SetQuietTimer(Timer& tmrQuiet);
    void SetPauseMillis(int pauseMs);
    void tmrQuiet_Timer();

    // --- Module search: probes on the port the search holds while off line ---
    // A probe has its own timer, so a silent one ends when its wait does, not at
    // a 40 ms tick; its reply is taken as soon as it is whole (BytesArrived).
    void SetProbeTimer(Timer& tmrProbe);
    // Writes one probe. It ends at its whole reply or at the end of its wait
    // with one Outcome event (request Probe), emitted once the line is free
    // again. Throws SerialError when the port failed or the line is not free.
    void SendProbe(const Probe& probe);
    void tmrProbe_Timer();

  private:
    // The request written last, until its outcome is known.
    struct InFlight {
        LineRequest request = LineRequest::ReadCounters;
        Protocol protocol = Protocol::Own;
        int station = 0;
        std::string frame;
        std::int64_t sentMicros = 0;
        // False while it waits for the quiet line: no Request told yet.
        bool written = false;
        // The outputs' read a command asked for (ReadOutputsBack), outside the cycle.
        bool readBack = false;
    };

    bool sendRead(ReadKind kind);
    // False when nothing was sent.
    bool sendReadBack();
    void dispatchNow();
    // Steps 2-11 of the reply tick; false when the tick only waited or stopped.
    bool handleReplyTick();
    // While the line is held: true once it has been quiet for a moment and the rest
    // of the reply's handling (finishReply) has run.
    bool waitForQuietLine();
    // Takes what arrived while the line is held; a late answer that becomes whole is
    // told (LateReply). False after a port failure (then reported).
    bool takeHeldBytes();
    void armQuietTick(std::int64_t nowMicros);
    // Why the line is held after an outcome (see hold_).
    enum class LineHold : std::uint8_t { None, BrokenReply, LateReply };
    // Called before the request in flight settles with this outcome: whether the
    // line is held after it (a late answer is kept in late_), and for how long at most.
    LineHold holdFor(const Outcome& outcome);
    // Takes what the held line brought; true once no hold is left (quiet long
    // enough, or given up as jammed).
    bool lineQuietAgain();
    // Steps 8-11: a waiting command, the busy markers, the next read or the cycle's end.
    bool finishReply();
    void startDeferredCycle();
    // Moves StationHex to the next listed station of the cycle; false after the last.
    bool nextStation();
    bool restartWanted() const;
    // Empties RxBuffer and the input, writes the frame and makes it the request in
    // flight with its deadline; false when the port failed (nothing in flight).
    bool beginRequest(LineRequest request, Protocol protocol, const std::string& frame);
    // Writes the request in flight once the line has been quiet long enough, now
    // or at a tick of the quiet timer; false when the port failed.
    bool writeWhenQuiet();
    std::int64_t quietUntil(Protocol protocol) const;
    // Reads and drops what waits in the port (a stray byte restarts the silence);
    // false after a port failure (then reported).
    bool drainInput();
    void noteReceived(const std::string& bytes, std::int64_t nowMicros);
    // Ends the request in flight with its outcome and tells the listeners.
    void settle(const Outcome& outcome, const std::string& statusText,
                std::optional<ReplyMeaning> meaning, std::int64_t nowMicros);
    // The request in flight will get no reply any more (the line closed).
    void abandonInFlight();
    void collectEnableReply(bool atCheck);
    // The poll cycle that sent a read is over: CycleEnd, once.
    void endCycle();
    LineEvent newEvent(LineEvent::Type type, std::int64_t monoMicros) const;
    int lineBaud() const;
    // Adds what has arrived to RxBuffer; false after a port failure (then reported).
    bool collect();
    // Both false after a port failure, which has then been reported.
    bool write(const std::string& frame);
    // Empties the input where possible, reporting nothing.
    void discardInput();
    void portFailed(const std::string& reason);
    void armProbeTimer(std::int64_t nowMicros);
    void endProbe(const Outcome& outcome);

    MainState& state_;
    SerialComponent& port_;
    Clock& clock_;
    Timer& tmrRead_;
    Timer& tmrNow_;
    PollHost& host_;
    LineEvents events_;
    std::optional<InFlight> inFlight_;
    // How the last enable write ended, until the dialog asks.
    std::optional<Outcome> enableWriteOutcome_;
    bool handlingReply_ = false;
    // A tmrNow tick fell while the line was busy: start a cycle after the current one.
    bool cycleDeferred_ = false;
    // "Read" was ticked while the line was busy: restart the cycle after this reply.
    bool restartPending_ = false;
    // After an outcome the line may still carry the answer: the rest of one judged
    // broken, or one still arriving at its deadline. Then no request goes out (the
    // reply tick runs, so LineBusy holds) until the line has been quiet for a moment
    // (kQuietMicros), however long the answer runs on; only a line that never falls
    // quiet (jammed) is given up on, a second reply time after the deadline.
    LineHold hold_ = LineHold::None;
    // The request whose answer was still arriving at its deadline, and that answer
    // so far (LineHold::LateReply): once whole it is told, and dropped all the same.
    struct LateAnswer {
        InFlight asked;
        std::string bytes;
        bool told = false;
    };
    std::optional<LateAnswer> late_;
    // The last time bytes were received, and the latest a hold lasts.
    std::int64_t lastArrivalMicros_ = 0;
    std::int64_t holdLimitMicros_ = 0;
    // The current poll cycle has written a read, to this station.
    bool cycleSentRead_ = false;
    int cycleStation_ = 0;
    // Opened was told and Closed not yet.
    bool lineUp_ = false;
    std::vector<int> stations_;
    std::optional<int> readBack_;
    // A new list, waiting for the cycle under way to end.
    std::optional<std::vector<int>> nextStations_;
    std::size_t stationIndex_ = 0;
    Timer* tmrQuiet_ = nullptr;
    std::int64_t pauseMicros_ = 0;
    // The last byte received, or the end of the last request on the wire.
    std::int64_t lastLineMicros_ = 0;
    // Counts closings, so a reply tick can tell that the line closed under it.
    unsigned lineClosings_ = 0;

    struct ProbeInFlight {
        Probe probe;
        std::string rx;
        // Monotonic: the last byte of the request on the wire, and when to give up.
        std::int64_t sentMicros = 0;
        std::int64_t deadlineMicros = 0;
        // How a whole reply was judged, and when.
        std::optional<Outcome> judged;
        std::int64_t judgedMicros = 0;
    };
    Timer* tmrProbe_ = nullptr;
    std::optional<ProbeInFlight> probe_;
};

// The status text that announces a dispatched command, by the units digit of the
// step code; empty for a digit that names no command.
std::string CommandText(int pollStep, int counterSelector, int outputTarget);

}  // namespace tally
