#include "engine/poll_engine.h"

#include <algorithm>
#include <optional>

#include "protocol/completeness.h"
#include "protocol/frames.h"
#include "protocol/protocol.h"

namespace tally {

namespace {

// Every request gets this long for its reply.
constexpr float kReplySeconds = 0.3f;

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
};

ReadPlan planOf(ReadKind kind) {
    switch (kind) {
        case ReadKind::Counters:
            return {&ReadCountersRequest, 10, "Read DC"};
        case ReadKind::Inputs:
            return {&ReadInputsRequest, 20, "Read DI"};
        case ReadKind::Outputs:
            break;
    }
    return {&ReadOutputsRequest, 30, "Read DO"};
}

}  // namespace

std::string SuccessText(int pollStep) {
    switch (pollStep % 10) {
        case 0:
            return "Read OK";
        case 4:
            return "Read DC Status OK";
        default:
            return "Write OK";
    }
}

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
    return tmrRead_.Enabled() || handlingReply_ || probe_.has_value();
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
        if (state_.AutoReadSeconds == 0) {
            state_.PollStep = 1000;
            host_.UntickRead();
        } else {
            state_.PollStep = 0;
        }
        return;
    }
    // Also when the lamp showed the port closed: that tick then stops at once.
    tmrRead_.SetEnabled(true);
}

void PollEngine::SendReadCounters() {
    sendRead(ReadKind::Counters);
}
void PollEngine::SendReadInputs() {
    sendRead(ReadKind::Inputs);
}
void PollEngine::SendReadOutputs() {
    sendRead(ReadKind::Outputs);
}

// False only when the port failed under it.
bool PollEngine::sendRead(ReadKind kind) {
    if (!host_.LineOpen()) return true;
    if (!flushInput()) return false;
    const ReadPlan plan = planOf(kind);
    const std::optional<Bytes> frame =
        BuildFrame(ProtocolFromIndex(state_.ProtocolIndex), state_.StationHex, plan.request());
    if (!frame) return true;
    if (!write(*frame)) return false;
    tmrRead_.SetEnabled(true);
    state_.ReplyDeadline = DeadlineAfter(clock_, kReplySeconds);
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
    std::string received;
    try {
        received = port_.Input();
    } catch (const SerialError& error) {
        portFailed(error.what());
        return false;
    }
    state_.RxBuffer += received;

    // Completeness first, so a terminator arriving on the deadline tick still counts.
    const bool late = state_.ReplyDeadline <= NowStamp(clock_);
    if (ReplyIsComplete(ProtocolFromIndex(state_.ProtocolIndex), state_.RxBuffer, late)) {
        host_.DecodeReply();
        // The decoder may have held the enable dialog open while the port failed:
        // off line wins, and this reply tick ends here.
        if (!host_.LineOpen()) {
            state_.RxBuffer.clear();
            return false;
        }
        ShowSuccess(state_.PollStep);
    } else if (!late) {
        tmrRead_.SetEnabled(true);
        return false;
    } else {
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep + 100);
        host_.ShowStatus("Time Out");
    }
    state_.RxBuffer.clear();

    // A single read that timed out stops, unless "Read" was ticked anew meanwhile.
    if (state_.PollStep > 100 && state_.AutoReadSeconds == 0 && !restartWanted()) {
        host_.UntickRead();
    }
    if (state_.PendingCommand != 0) {
        dispatchNow();
        return true;
    }
    host_.ClearBusyMarkers();
    state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
    if (restartWanted()) {
        // The rest of this cycle gives way to the one "Read" asked for.
        state_.PollStep = 0;
    } else if (state_.PollStep > 0 && state_.PollStep < 100) {
        PollNext();
    } else {
        state_.PollStep = 0;
    }
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
    state_.PendingCommand = 0;
    if (!write(state_.PendingFrame)) {
        // Never sent: the step code goes back to the read it followed.
        state_.PollStep = static_cast<std::int16_t>(state_.PollStep / 10 * 10);
        return;
    }
    tmrRead_.SetEnabled(true);
    state_.ReplyDeadline = DeadlineAfter(clock_, kReplySeconds);
    const std::string text =
        CommandText(state_.PollStep, host_.CounterSelectorNumber(), state_.OutputState[0]);
    if (!text.empty()) host_.ShowStatus(text);
}

void PollEngine::ShowSuccess(int pollStep) {
    host_.ShowStatus(SuccessText(pollStep));
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

bool PollEngine::flushInput() {
    try {
        port_.Input();
        return true;
    } catch (const SerialError& error) {
        portFailed(error.what());
        return false;
    }
}

void PollEngine::portFailed(const std::string& reason) {
    // A vanished adapter is never polled again; the window goes off line.
    tmrRead_.SetEnabled(false);
    tmrNow_.SetEnabled(false);
    cycleDeferred_ = false;
    restartPending_ = false;
    host_.PortFailed(reason);
}

}  // namespace tally
