// The poll engine's probes for the module search.
#include <algorithm>

#include "engine/poll_engine.h"
#include "protocol/completeness.h"
#include "protocol/reply_check.h"

namespace tally {

namespace {

// For a serial component that does not say when bytes arrive: a reply is looked
// at this often. A silent probe ends on its own deadline tick.
constexpr int kProbeTickMs = 5;

const Outcome kProbeTimeOut = Outcome::Of(OutcomeKind::TimeOut);

bool Broken(const Outcome& outcome) {
    return outcome.kind == OutcomeKind::ChecksumError || outcome.kind == OutcomeKind::BadReply;
}

}  // namespace

void PollEngine::SetProbeTimer(Timer& tmrProbe) {
    tmrProbe_ = &tmrProbe;
    tmrProbe_->SetEnabled(false);
    tmrProbe_->onTick = [this] { tmrProbe_Timer(); };
}

void PollEngine::SendProbe(const Probe& probe) {
    if (tmrProbe_ == nullptr || LineBusy()) throw SerialError("The line is busy.");
    if (!port_.PortOpen()) throw SerialError("The port is not open.");
    // A late answer to the probe before must not count as this one's.
    noteReceived(port_.Input(), clock_.MonotonicMicros());
    if (probe.protocol == Protocol::ModbusRtu) {
        // The frame gap, at most a few milliseconds: waited in place.
        clock_.PauseMicros(lastLineMicros_ + RtuSilenceMicros(probe.baud) -
                           clock_.MonotonicMicros());
    }
    const std::int64_t start = clock_.MonotonicMicros();
    port_.Output(probe.frame);
    lastLineMicros_ = start + WireMicros(probe.frame.size(), probe.baud);
    ProbeInFlight inFlight;
    inFlight.probe = probe;
    inFlight.sentMicros = start + WireMicros(probe.frame.size(), probe.baud);
    inFlight.deadlineMicros = start + probe.waitMicros;
    probe_ = std::move(inFlight);

    LineEvent event = newEvent(LineEvent::Type::Request, start);
    event.request = LineRequest::Probe;
    event.protocol = probe.protocol;
    event.station = probe.station;
    event.bytes = probe.frame;
    events_.Emit(event);
    armProbeTimer(clock_.MonotonicMicros());
}

void PollEngine::armProbeTimer(std::int64_t nowMicros) {
    const std::int64_t left = (probe_->deadlineMicros - nowMicros + 999) / 1000;
    tmrProbe_->SetInterval(static_cast<int>(std::clamp<std::int64_t>(left, 1, kProbeTickMs)));
    tmrProbe_->SetEnabled(true);
}

void PollEngine::tmrProbe_Timer() {
    tmrProbe_->SetEnabled(false);
    if (!probe_) return;
    std::string received;
    try {
        received = port_.Input();
    } catch (const SerialError&) {
        // The search learns why from its next write.
        endProbe(kProbeTimeOut);
        return;
    }
    const std::int64_t now = clock_.MonotonicMicros();
    noteReceived(received, now);
    if (!probe_->judged) {
        probe_->rx += received;
        const Probe& probe = probe_->probe;
        if (ReplyIsComplete(probe.protocol, probe.frame, probe_->rx)) {
            const Outcome outcome = CheckReply(probe.protocol, probe.frame, probe_->rx);
            probe_->judged = outcome;
            probe_->judgedMicros = now;
            // A broken answer may be cut short while the module still sends the
            // rest: the line is held to the end of the wait, so the next probe
            // does not talk over it.
            if (!Broken(outcome)) {
                endProbe(outcome);
                return;
            }
        }
    }
    if (now >= probe_->deadlineMicros) {
        endProbe(probe_->judged.value_or(kProbeTimeOut));
    } else {
        armProbeTimer(now);
    }
}

void PollEngine::endProbe(const Outcome& outcome) {
    tmrProbe_->SetEnabled(false);
    const ProbeInFlight ended = std::move(*probe_);
    probe_.reset();
    // A timeout is reported at the deadline, whichever tick noticed it.
    const std::int64_t end = ended.judged
                                 ? ended.judgedMicros
                                 : std::min(clock_.MonotonicMicros(), ended.deadlineMicros);
    LineEvent event = newEvent(LineEvent::Type::Outcome, clock_.MonotonicMicros());
    event.request = LineRequest::Probe;
    event.protocol = ended.probe.protocol;
    event.station = ended.probe.station;
    event.bytes = ended.rx;
    event.outcome = outcome;
    event.statusText = OutcomeText(outcome, 0);
    event.replyMs = static_cast<double>(std::max<std::int64_t>(0, end - ended.sentMicros)) / 1000.0;
    events_.Emit(event);
}

}  // namespace tally
