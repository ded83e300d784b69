#include "engine/poll_engine.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/hex.h"
#include "protocol/protocol.h"
#include "protocol/reply_check.h"
#include "serial/line_settings.h"

namespace tally {

namespace {

const Outcome kTimeOut = Outcome::Of(OutcomeKind::TimeOut);
// The units digit of a write, for the status text of the enable dialog's write.
constexpr int kWriteStep = 1;
// After a broken answer the line must have been quiet this long before the next
// request: longer than a module pauses inside an answer.
constexpr std::int64_t kQuietMicros = 100'000;
// The reply tick (tmrRead).
constexpr int kReplyTickMs = 40;

// Marks a reply tick as running for as long as the object lives, even if the
// decoder throws.
class ReplyHandling {
  public:
    explicit ReplyHandling(bool& flag) : flag_(flag) { flag_ = true; }
    ~ReplyHandling() { flag_ = false; }
    ReplyHandling(const ReplyHandling&) = delete;
    ReplyHandling& operator=(const ReplyHandling&) = delete;

  private:
    bool& flag_;
};

struct ReadPlan {
    Request (*request)();
    int step;
    const char* caption;
    LineRequest line;
};

ReadPlan planOf(ReadKind kind) {
    switch (kind) {
        case ReadKind::Counters:
            return {&ReadCountersRequest, 10, "Read DC", LineRequest::ReadCounters};
        case ReadKind::Inputs:
            return {&ReadInputsRequest, 20, "Read DI", LineRequest::ReadInputs};
        case ReadKind::Outputs:
            break;
    }
    return {&ReadOutputsRequest, 30, "Read DO", LineRequest::ReadOutputs};
}

// What a command kind (PendingCommand) asks of the module.
LineRequest CommandRequest(int command) {
    switch (command) {
        case 1:
            return LineRequest::ClearCounters;
        case 2:
            return LineRequest::PresetCounters;
        case 4:
            return LineRequest::ReadEnable;
        case 5:
            return LineRequest::WriteEnable;
        default:
            return LineRequest::WriteOutputs;
    }
}

// Requests whose good reply carries values to show or keep.
bool IsRead(LineRequest request) {
    return request == LineRequest::ReadCounters || request == LineRequest::ReadInputs ||
           request == LineRequest::ReadOutputs || request == LineRequest::ReadEnable;
}

}  // namespace

std::string CommandText(int pollStep, int counterSelector, int outputTarget) {
    const std::string counterTarget =
        counterSelector > 0 ? "DC #" + std::to_string(counterSelector) : std::string("All DC");
    switch (pollStep % 10) {
        case 1:
            return "Clear " + counterTarget;
        case 2:
            return "Write " + counterTarget;
        case 3:
            // 0 (all off) and 255 (all on) both name every output.
            return outputTarget % 255 > 0 ? "Write DO #" + std::to_string(outputTarget)
                                          : std::string("Write All DO");
        case 4:
            return "Read DC Status";
        default:
            return std::string();
    }
}

PollEngine::PollEngine(MainState& state, SerialComponent& port, Clock& clock, Timer& tmrRead,
                       Timer& tmrNow, PollHost& host)
    : state_(state), port_(port), clock_(clock), tmrRead_(tmrRead), tmrNow_(tmrNow), host_(host) {}

bool PollEngine::LineBusy() const {
    return tmrRead_.Enabled() || handlingReply_ || probe_.has_value() ||
           (inFlight_ && !inFlight_->written);
}

void PollEngine::LineOpened() {
    state_.RxBuffer.clear();
    discardInput();
    state_.PollStep = 0;
    cycleSentRead_ = cycleDeferred_ = restartPending_ = false;
    hold_ = LineHold::None;
    late_.reset();
    lineUp_ = true;
    LineEvent event = newEvent(LineEvent::Type::Opened, clock_.MonotonicMicros());
    event.protocol = ProtocolFromIndex(state_.ProtocolIndex);
    event.station = GroupValue(state_.StationHex);
    events_.Emit(event);
}

void PollEngine::LineClosed() {
    ++lineClosings_;
    tmrRead_.SetEnabled(false);
    if (tmrQuiet_ != nullptr) tmrQuiet_->SetEnabled(false);
    tmrNow_.SetEnabled(false);
    abandonInFlight();
    endCycle();
    state_.RxBuffer.clear();
    discardInput();
    // A reopened port starts a fresh cycle, and a command then sends no leftover read.
    state_.PollStep = 0;
    cycleDeferred_ = restartPending_ = false;
    readBack_.reset();
    hold_ = LineHold::None;
    late_.reset();
    if (lineUp_) {
        lineUp_ = false;
        events_.Emit(newEvent(LineEvent::Type::Closed, clock_.MonotonicMicros()));
    }
}

void PollEngine::BytesArrived() {
    if (probe_) {
        tmrProbe_Timer();
        return;
    }
    if (hold_ != LineHold::None) {
        // Taken now, so the quiet the line is held for counts from the last byte.
        takeHeldBytes();
        return;
    }
    if (!inFlight_) return;
    if (!inFlight_->written) {
        // Nothing is asked yet: a stray byte only puts the write further off.
        drainInput();
        return;
    }
    // The dialog's own write; one sent from the slot is collected as any command.
    if (inFlight_->request == LineRequest::WriteEnable && !tmrRead_.Enabled()) {
        collectEnableReply(false);
        return;
    }
    // The reply tick's work, done now once the reply is whole; the tick stays for
    // the deadline and for a component that does not tell.
    if (!tmrRead_.Enabled() || handlingReply_) return;
    if (!collect() || !inFlight_) return;
    if (ReplyIsComplete(inFlight_->protocol, inFlight_->frame, state_.RxBuffer)) tmrRead_Timer();
}

void PollEngine::ReadTicked(int autoReadSeconds) {
    // The interval field keeps to 0-60 already; a stray value must not reach the timer.
    state_.AutoReadSeconds = static_cast<std::int16_t>(std::clamp(autoReadSeconds, 0, 60));
    tmrNow_.SetInterval(state_.AutoReadSeconds * 1000);
    if (LineBusy()) {
        // The units digit still names the request in flight; the restart waits for its reply.
        restartPending_ = true;
        return;
    }
    restartPending_ = false;
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep % 10);
    tmrNow_Timer();
}

void PollEngine::tmrNow_Timer() {
    tmrNow_.SetEnabled(false);
    if (LineBusy()) {
        cycleDeferred_ = true;
        return;
    }
    cycleDeferred_ = false;
    if (!host_.ReadTicked() || !host_.LineOpen()) return;
    endCycle();
    if (nextStations_) {
        stations_ = std::move(*nextStations_);
        nextStations_.reset();
    }
    if (!stations_.empty()) {
        stationIndex_ = 0;
        state_.StationHex = StationHexOf(stations_.front());
    }
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
    if (state_.PendingCommand == 0) {
        host_.ShowStatus("Read Value");
        PollNext();
    } else {
        // With the line free nothing else would ever send it (a port closed under
        // it); it goes first and the cycle starts after its reply.
        dispatchNow();
        if (tmrRead_.Enabled()) cycleDeferred_ = true;
    }
    if (state_.AutoReadSeconds > 0 && host_.LineOpen()) tmrNow_.SetEnabled(true);
}

void PollEngine::PollNext() {
    for (;;) {
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep + 10);
        const ReadKind kinds[] = {ReadKind::Counters, ReadKind::Inputs, ReadKind::Outputs};
        std::optional<ReadKind> due;
        for (ReadKind kind : kinds) {
            if (planOf(kind).step == state_.PollStep &&
                host_.ReadBoxValue(kind) * planOf(kind).step == state_.PollStep) {
                due = kind;
            }
        }
        if (due) {
            if (!sendRead(*due)) return;
            break;
        }
        if (state_.PollStep < 30) continue;
        if (nextStation()) {
            endCycle();
            state_.PollStep = 0;
            continue;
        }
        if (state_.AutoReadSeconds == 0) {
            state_.PollStep = 1000;
            endCycle();
            host_.UntickRead();
        } else {
            state_.PollStep = 0;
            endCycle();
        }
        return;
    }
    // Also when the lamp showed the port closed: that tick then stops at once.
    tmrRead_.SetEnabled(true);
}

// False only when the port failed under it.
bool PollEngine::sendRead(ReadKind kind) {
    if (!host_.LineOpen()) return true;
    const ReadPlan plan = planOf(kind);
    const Protocol protocol = ProtocolFromIndex(state_.ProtocolIndex);
    const std::optional<Bytes> frame = BuildFrame(protocol, state_.StationHex, plan.request());
    if (!frame) return true;
    if (!beginRequest(plan.line, protocol, *frame)) return false;
    cycleSentRead_ = true;
    cycleStation_ = GroupValue(state_.StationHex);
    tmrRead_.SetEnabled(true);
    host_.ShowStatus(plan.caption);
    return true;
}

void PollEngine::tmrRead_Timer() {
    tmrRead_.SetEnabled(false);
    bool handled = false;
    {
        ReplyHandling handling(handlingReply_);
        handled = handleReplyTick();
    }
    if (handled && !LineBusy()) startDeferredCycle();
}

bool PollEngine::handleReplyTick() {
    if (!host_.LineOpen()) return false;
    if (hold_ != LineHold::None) return waitForQuietLine();
    if (!inFlight_) return false;
    if (!inFlight_->written) {
        // The quiet timer writes it; a reply tick that finds the line quiet may too.
        tmrRead_.SetEnabled(true);
        writeWhenQuiet();
        return false;
    }
    if (!collect()) return false;

    // Completeness first, so a reply completed on the deadline tick still counts.
    const std::int64_t now = clock_.MonotonicMicros();
    Outcome outcome;
    if (ReplyIsComplete(inFlight_->protocol, inFlight_->frame, state_.RxBuffer)) {
        outcome = CheckReply(inFlight_->protocol, inFlight_->frame, state_.RxBuffer);
    } else if (now < state_.ReplyDeadline) {
        // The last tick lands on the deadline rather than up to a tick after it:
        // a silent station costs its deadline and no more.
        tmrRead_.SetInterval(static_cast<int>(
            std::clamp<std::int64_t>((state_.ReplyDeadline - now + 999) / 1000, 1, kReplyTickMs)));
        tmrRead_.SetEnabled(true);
        return false;
    } else {
        outcome = kTimeOut;
    }

    // Only a good reply is decoded; any other outcome changes nothing but the step
    // code, and the cycle is given up as after a timeout.
    // A read-back is the outputs' read, and its failure costs the cycle nothing.
    const bool readBack = inFlight_->readBack;
    std::optional<ReplyMeaning> meaning;
    if (OutcomeApplies(outcome)) {
        meaning = DecodeReplyBytes(state_.RxBuffer, readBack ? 30 : state_.PollStep,
                                   inFlight_->protocol, state_.PendingFrame);
    } else if (!readBack) {
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep + 100);
    }
    const std::string text = OutcomeText(outcome, readBack ? 30 : state_.PollStep);
    const bool read = IsRead(inFlight_->request);
    const LineHold hold = holdFor(outcome);
    const int station = inFlight_->station;
    settle(outcome, text, read ? meaning : std::nullopt, now);
    if (meaning) {
        const unsigned closings = lineClosings_;
        host_.ApplyStationReply(station, *meaning);
        // The enable dialog lets events run: if the line closed meanwhile, the
        // closing has reset everything and the window shows "Off Line".
        if (closings != lineClosings_) return false;
    }
    host_.ShowStatus(text);
    state_.RxBuffer.clear();
    // The enable dialog's write, answered during the decode, may hold the line too.
    if (hold != LineHold::None) hold_ = hold;
    if (hold_ != LineHold::None) return waitForQuietLine();
    return finishReply();
}

PollEngine::LineHold PollEngine::holdFor(const Outcome& outcome) {
    // A line that has not fallen quiet a second reply time after the deadline is
    // jammed, not answering: then polling goes on rather than stop for good.
    holdLimitMicros_ = state_.ReplyDeadline + (state_.ReplyDeadline - inFlight_->sentMicros);
    if (outcome.kind == OutcomeKind::ChecksumError || outcome.kind == OutcomeKind::BadReply) {
        // A broken answer can be cut short (a wrong byte count, a stray CR) while the
        // module is still sending the rest: the next request waits for a quiet line
        // rather than talk over it.
        return LineHold::BrokenReply;
    }
    if (outcome.kind != OutcomeKind::TimeOut || state_.RxBuffer.empty()) return LineHold::None;
    // The answer was still arriving at the deadline: the module is talking, and
    // whatever completes it belongs to this request, never to the next.
    late_ = LateAnswer{*inFlight_, state_.RxBuffer, false};
    return LineHold::LateReply;
}

bool PollEngine::lineQuietAgain() {
    if (hold_ == LineHold::None) return true;
    if (!takeHeldBytes()) return false;
    const std::int64_t now = clock_.MonotonicMicros();
    // Never a request while bytes are arriving, however long the answer runs on.
    if (now - lastArrivalMicros_ < kQuietMicros && now < holdLimitMicros_) return false;
    hold_ = LineHold::None;
    late_.reset();
    return true;
}

bool PollEngine::waitForQuietLine() {
    if (lineQuietAgain()) return finishReply();
    if (hold_ != LineHold::None) armQuietTick(clock_.MonotonicMicros());
    return false;
}

bool PollEngine::takeHeldBytes() {
    if (!collect()) return false;
    if (late_ && !state_.RxBuffer.empty()) {
        late_->bytes += state_.RxBuffer;
        if (!late_->told &&
            ReplyIsComplete(late_->asked.protocol, late_->asked.frame, late_->bytes)) {
            late_->told = true;
            const std::int64_t now = clock_.MonotonicMicros();
            LineEvent event = newEvent(LineEvent::Type::LateReply, now);
            event.request = late_->asked.request;
            event.protocol = late_->asked.protocol;
            event.station = late_->asked.station;
            event.bytes = late_->bytes;
            event.outcome = kTimeOut;
            event.statusText = kLateReplyText;
            event.replyMs =
                static_cast<double>(std::max<std::int64_t>(0, now - late_->asked.sentMicros)) /
                1000.0;
            events_.Emit(event);
        }
    }
    state_.RxBuffer.clear();
    return true;
}

void PollEngine::armQuietTick(std::int64_t nowMicros) {
    // The tick that finds the line quiet lands when it can, not up to a tick later.
    tmrRead_.SetInterval(static_cast<int>(std::clamp<std::int64_t>(
        (lastArrivalMicros_ + kQuietMicros - nowMicros + 999) / 1000, 1, kReplyTickMs)));
    tmrRead_.SetEnabled(true);
}

bool PollEngine::finishReply() {
    // A single read that failed stops, unless "Read" was ticked anew meanwhile.
    if (state_.PollStep > 100 && state_.AutoReadSeconds == 0 && !restartWanted()) {
        host_.UntickRead();
    }
    if (readBack_ && sendReadBack()) return true;
    if (state_.PendingCommand != 0) {
        dispatchNow();
        return true;
    }
    // A command sent while no cycle ran (tens 0) is no part of a station's reads.
    const bool inCycle = state_.PollStep % 100 >= 10;
    host_.ClearBusyMarkers();
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
    if (restartWanted()) {
        // The rest of this cycle gives way to the one "Read" asked for.
        state_.PollStep = 0;
        endCycle();
    } else if (state_.PollStep > 0 && state_.PollStep < 100) {
        PollNext();
    } else {
        state_.PollStep = 0;
        endCycle();
        // A station that failed costs only its own reads: the next one follows.
        if (inCycle && nextStation()) PollNext();
    }
    return true;
}

void PollEngine::ReadOutputsBack(int station) {
    readBack_ = station;
}

bool PollEngine::sendReadBack() {
    const int station = *readBack_;
    readBack_.reset();
    const Protocol protocol = ProtocolFromIndex(state_.ProtocolIndex);
    const std::optional<Bytes> frame =
        BuildFrame(protocol, StationHexOf(station), ReadOutputsRequest());
    if (!host_.LineOpen() || !frame) return false;
    // The step code keeps the cycle's place, without the command's digit.
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
    if (!beginRequest(LineRequest::ReadOutputs, protocol, *frame)) return true;
    inFlight_->readBack = true;
    tmrRead_.SetEnabled(true);
    host_.ShowStatus(planOf(ReadKind::Outputs).caption);
    return true;
}

void PollEngine::SetStations(std::vector<int> stations) {
    if (LineBusy() || (state_.PollStep > 0 && state_.PollStep < 1000)) {
        nextStations_ = std::move(stations);
        return;
    }
    nextStations_.reset();
    stations_ = std::move(stations);
    stationIndex_ = 0;
    if (!stations_.empty()) state_.StationHex = StationHexOf(stations_.front());
}

bool PollEngine::nextStation() {
    if (stationIndex_ + 1 >= stations_.size()) return false;
    ++stationIndex_;
    state_.StationHex = StationHexOf(stations_[stationIndex_]);
    return true;
}

bool PollEngine::restartWanted() const {
    return restartPending_ && host_.ReadTicked();
}

void PollEngine::startDeferredCycle() {
    const bool restart = restartWanted();
    const bool deferred = cycleDeferred_;
    restartPending_ = false;
    cycleDeferred_ = false;
    if (restart) {
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep % 10);
        tmrNow_Timer();
    } else if (deferred) {
        tmrNow_Timer();
    }
}

void PollEngine::Dispatch() {
    if (LineBusy()) return;
    dispatchNow();
}

void PollEngine::dispatchNow() {
    // A closed port keeps the command in the slot, as closing does.
    if (!host_.LineOpen()) return;
    // A command sent right after another command's reply replaces its units digit
    // instead of adding to it, so the digit always names the command now in flight.
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10 + state_.PendingCommand);
    const LineRequest request = CommandRequest(state_.PendingCommand);
    state_.PendingCommand = 0;
    if (!beginRequest(request, ProtocolFromIndex(state_.ProtocolIndex), state_.PendingFrame)) {
        // Never sent: the step code goes back to the read it followed.
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
        return;
    }
    tmrRead_.SetEnabled(true);
    const std::string text =
        CommandText(state_.PollStep, host_.CounterSelectorNumber(), state_.OutputState[0]);
    if (!text.empty()) host_.ShowStatus(text);
}

bool PollEngine::SendEnableWrite(const std::string& frame) {
    enableWriteOutcome_.reset();
    if (inFlight_ || tmrRead_.Enabled() || !host_.LineOpen() || !lineQuietAgain()) return false;
    return beginRequest(LineRequest::WriteEnable, Protocol::Own, frame);
}

Outcome PollEngine::EnableWriteOutcome() {
    // Still waiting for a quiet line: it never went out.
    if (inFlight_ && !inFlight_->written) abandonInFlight();
    if (inFlight_ && inFlight_->request == LineRequest::WriteEnable) collectEnableReply(true);
    const Outcome outcome = enableWriteOutcome_.value_or(kTimeOut);
    enableWriteOutcome_.reset();
    return outcome;
}

void PollEngine::collectEnableReply(bool atCheck) {
    if (!collect() || !inFlight_) return;
    const std::int64_t now = clock_.MonotonicMicros();
    Outcome outcome = kTimeOut;
    if (ReplyIsComplete(Protocol::Own, inFlight_->frame, state_.RxBuffer)) {
        outcome = CheckReply(Protocol::Own, inFlight_->frame, state_.RxBuffer);
    } else if (!atCheck) {
        return;
    }
    const LineHold hold = holdFor(outcome);
    settle(outcome, OutcomeText(outcome, kWriteStep), std::nullopt, now);
    state_.RxBuffer.clear();
    if (hold == LineHold::None) return;
    hold_ = hold;
    // Inside a decode the reply tick that called it waits for the quiet line.
    if (!handlingReply_) armQuietTick(now);
}

bool PollEngine::beginRequest(LineRequest request, Protocol protocol, const std::string& frame) {
    abandonInFlight();
    state_.RxBuffer.clear();
    InFlight sent;
    sent.request = request;
    sent.protocol = protocol;
    // A command waits in its slot with the station it was built for, which need not
    // be the station whose reads the cycle is at.
    sent.station = FrameStation(protocol, frame).value_or(GroupValue(state_.StationHex));
    sent.frame = frame;
    inFlight_ = std::move(sent);
    return writeWhenQuiet();
}

void PollEngine::SetQuietTimer(Timer& tmrQuiet) {
    tmrQuiet_ = &tmrQuiet;
    tmrQuiet_->SetEnabled(false);
    tmrQuiet_->onTick = [this] { tmrQuiet_Timer(); };
}

void PollEngine::SetPauseMillis(int pauseMs) {
    pauseMicros_ = static_cast<std::int64_t>(std::clamp(pauseMs, 0, 1000)) * 1000;
}

void PollEngine::tmrQuiet_Timer() {
    tmrQuiet_->SetEnabled(false);
    if (inFlight_ && !inFlight_->written) writeWhenQuiet();
}

std::int64_t PollEngine::quietUntil(Protocol protocol) const {
    const std::int64_t silence = protocol == Protocol::ModbusRtu ? RtuSilenceMicros(lineBaud()) : 0;
    // Korvi and Modbus ASCII frames end with their own terminator: no gap needed.
    if (silence + pauseMicros_ == 0) return 0;
    return lastLineMicros_ + silence + pauseMicros_;
}

bool PollEngine::writeWhenQuiet() {
    // What came in since the last request belongs to none; it is line activity all the same.
    if (!drainInput()) return false;
    const std::int64_t left = quietUntil(inFlight_->protocol) - clock_.MonotonicMicros();
    // A precise pause for the last few milliseconds (all of the RTU gap from 14400
    // baud up), a timer for the bulk of a longer wait: the quiet is kept and hardly
    // exceeded, and the event loop never runs in the middle of a request.
    constexpr std::int64_t kPauseMicros = 3000;
    if (left > kPauseMicros && tmrQuiet_ != nullptr) {
        // Whole milliseconds that end before the last few; those are paused.
        tmrQuiet_->SetInterval(
            static_cast<int>(std::max<std::int64_t>(1, (left - kPauseMicros) / 1000)));
        tmrQuiet_->SetEnabled(true);
        return true;
    }
    if (left > 0) clock_.PauseMicros(left);
    if (!write(inFlight_->frame)) return false;
    // The reply wakes the program once it may be whole; a shorter one (an error,
    // an exception) is still found by the reply tick. Its first look comes a little
    // after the longest reply's time on the line, when that is longer than a tick:
    // a look before would find the reply partly there and cost a wake-up for nothing.
    const std::size_t longest = LongestReplyLength(inFlight_->protocol, inFlight_->frame);
    // A Modbus RTU module knows the request has ended only after its silence.
    port_.ExpectReply(
        longest, inFlight_->protocol == Protocol::ModbusRtu ? RtuSilenceMicros(lineBaud()) : 0);
    const auto wireMs = static_cast<int>((WireMicros(longest, lineBaud()) + 999) / 1000);
    tmrRead_.SetInterval(std::max(kReplyTickMs, wireMs + kReplyTickMs / 4));
    InFlight& sent = *inFlight_;
    sent.written = true;
    sent.sentMicros = clock_.MonotonicMicros();
    state_.ReplyDeadline =
        sent.sentMicros + ReplyTimeoutMicros(sent.protocol, sent.frame, lineBaud());
    lastLineMicros_ = sent.sentMicros + WireMicros(sent.frame.size(), lineBaud());
    LineEvent event = newEvent(LineEvent::Type::Request, sent.sentMicros);
    event.request = sent.request;
    event.protocol = sent.protocol;
    event.station = sent.station;
    event.bytes = sent.frame;
    events_.Emit(event);
    return true;
}

bool PollEngine::drainInput() {
    try {
        noteReceived(port_.Input(), clock_.MonotonicMicros());
        return true;
    } catch (const SerialError& error) {
        portFailed(error.what());
        return false;
    }
}

void PollEngine::noteReceived(const std::string& bytes, std::int64_t nowMicros) {
    if (!bytes.empty()) lastLineMicros_ = std::max(lastLineMicros_, nowMicros);
    if (!bytes.empty()) lastArrivalMicros_ = nowMicros;
}

void PollEngine::settle(const Outcome& outcome, const std::string& statusText,
                        std::optional<ReplyMeaning> meaning, std::int64_t nowMicros) {
    const InFlight request = std::move(*inFlight_);
    inFlight_.reset();
    // Whatever comes now (a late or stray reply) is told at once again.
    port_.ExpectReply(0);
    if (request.request == LineRequest::WriteEnable) enableWriteOutcome_ = outcome;
    // A timeout is reported at its deadline, whichever tick noticed it.
    const std::int64_t end = outcome.kind == OutcomeKind::TimeOut
                                 ? std::min(nowMicros, state_.ReplyDeadline)
                                 : nowMicros;
    LineEvent event = newEvent(LineEvent::Type::Outcome, nowMicros);
    event.request = request.request;
    event.protocol = request.protocol;
    event.station = request.station;
    event.bytes = state_.RxBuffer;
    event.outcome = outcome;
    event.statusText = statusText;
    event.replyMs =
        static_cast<double>(std::max<std::int64_t>(0, end - request.sentMicros)) / 1000.0;
    event.meaning = std::move(meaning);
    events_.Emit(event);
}

void PollEngine::abandonInFlight() {
    if (!inFlight_) return;
    if (!inFlight_->written) {
        // Never on the line: nothing to settle.
        inFlight_.reset();
        return;
    }
    settle(kTimeOut, OutcomeText(kTimeOut, state_.PollStep), std::nullopt,
           clock_.MonotonicMicros());
}

void PollEngine::endCycle() {
    if (!cycleSentRead_) return;
    cycleSentRead_ = false;
    LineEvent event = newEvent(LineEvent::Type::CycleEnd, clock_.MonotonicMicros());
    event.station = cycleStation_;
    events_.Emit(event);
}

LineEvent PollEngine::newEvent(LineEvent::Type type, std::int64_t monoMicros) const {
    LineEvent event;
    event.type = type;
    event.utcMs = clock_.UtcMillis();
    event.monoMicros = monoMicros;
    return event;
}

int PollEngine::lineBaud() const {
    const std::optional<LineSettings> settings = ParseLineSettings(port_.Settings());
    return settings ? settings->baud : LineSettings{}.baud;
}

bool PollEngine::collect() {
    try {
        const std::string received = port_.Input();
        noteReceived(received, clock_.MonotonicMicros());
        state_.RxBuffer += received;
        return true;
    } catch (const SerialError& error) {
        portFailed(error.what());
        return false;
    }
}

bool PollEngine::write(const std::string& frame) {
    try {
        port_.Output(frame);
        return true;
    } catch (const SerialError& error) {
        portFailed(error.what());
        return false;
    }
}

void PollEngine::discardInput() {
    // What waits in the port belongs to no request; a port that failed has nothing.
    try {
        if (port_.PortOpen()) port_.Input();
    } catch (const SerialError&) {
    }
}

void PollEngine::portFailed(const std::string& reason) {
    // A vanished adapter is never polled again; the window goes off line.
    tmrRead_.SetEnabled(false);
    tmrNow_.SetEnabled(false);
    cycleDeferred_ = false;
    restartPending_ = false;
    if (tmrQuiet_ != nullptr) tmrQuiet_->SetEnabled(false);
    host_.PortFailed(reason);
    // The window closes the line on its own; a host that does not still gets the
    // request in flight settled and the cycle ended.
    LineClosed();
}

}  // namespace tally
