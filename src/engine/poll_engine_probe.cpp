// The poll engine's probes for the module search.
#include <algorithm>

#include "engine/poll_engine.h"
#include "protocol/checksum.h"
#include "protocol/hex.h"

namespace tally {

namespace {

// Often enough that a reply's time is shown to a few milliseconds; only while a
// search runs.
constexpr int kProbeTickMs = 2;

bool IsUpperHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// The probe reads 8 coils: one data byte, or a two-byte exception.
std::size_t RtuReplyLength(std::string_view rx) {
    if (rx.size() >= 2 && (static_cast<unsigned char>(rx[1]) & 0x80) != 0) return 5;
    return 6;
}

bool ProbeReplyComplete(Protocol protocol, std::string_view rx) {
    if (protocol == Protocol::ModbusRtu) return rx.size() >= RtuReplyLength(rx);
    if (protocol == Protocol::ModbusAscii)
        return rx.size() >= 2 && rx.substr(rx.size() - 2) == "\r\n";
    return !rx.empty() && rx.back() == CR;
}

// Station, function and byte count of a Modbus reply to the output read, as bytes
// without their checksum.
Outcome ModbusOutcome(std::string_view pdu, int station) {
    if (pdu.size() < 3 || static_cast<unsigned char>(pdu[0]) != station)
        return Outcome::Of(OutcomeKind::BadReply);
    const auto function = static_cast<unsigned char>(pdu[1]);
    if (function == 0x81 && pdu.size() == 3)
        return Outcome::ExceptionCode(static_cast<unsigned char>(pdu[2]));
    if (function == 0x01 && pdu.size() == 4 && pdu[2] == 1) return Outcome::Ok();
    return Outcome::Of(OutcomeKind::BadReply);
}

Outcome ProbeReplyOutcome(Protocol protocol, int station, std::string_view rx) {
    switch (protocol) {
        case Protocol::Own: {
            const auto start = rx.find('>');
            if (start == std::string_view::npos) return Outcome::Of(OutcomeKind::BadReply);
            std::string_view body = rx.substr(start + 1, rx.size() - start - 2);
            body = body.substr(0, body.find('>'));
            const bool states =
                body.size() >= 8 && std::all_of(body.begin(), body.begin() + 8,
                                                [](char c) { return c == '0' || c == '1'; });
            return states ? Outcome::Ok() : Outcome::Of(OutcomeKind::BadReply);
        }
        case Protocol::ModbusAscii: {
            const std::string_view hex = rx.substr(1, rx.size() - 3);
            if (rx.front() != ':' || hex.size() < 4 || hex.size() % 2 != 0 || !IsUpperHex(hex))
                return Outcome::Of(OutcomeKind::BadReply);
            const std::string_view payload = hex.substr(0, hex.size() - 2);
            if (LrcOfHex(payload) != hex.substr(hex.size() - 2))
                return Outcome::Of(OutcomeKind::ChecksumError);
            return ModbusOutcome(HexToBytes(payload), station);
        }
        case Protocol::ModbusRtu:
            break;
    }
    const std::size_t length = RtuReplyLength(rx);
    const std::string_view pdu = rx.substr(0, length - 2);
    if (CrcOfHex(BytesToHex(pdu)) != BytesToHex(rx.substr(length - 2)))
        return Outcome::Of(OutcomeKind::ChecksumError);
    return ModbusOutcome(pdu, station);
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
    port_.Input();
    const std::int64_t start = clock_.MonotonicMicros();
    port_.Output(probe.frame);
    ProbeInFlight inFlight;
    inFlight.probe = probe;
    inFlight.sentMicros = start + WireMicros(probe.frame.size(), probe.baud);
    inFlight.deadlineMicros = start + probe.waitMicros;
    probe_ = std::move(inFlight);

    LineEvent event;
    event.type = LineEvent::Type::Request;
    event.request = LineRequest::Probe;
    event.protocol = probe.protocol;
    event.station = probe.station;
    event.bytes = probe.frame;
    emitLineEvent(std::move(event));
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
    try {
        probe_->rx += port_.Input();
    } catch (const SerialError&) {
        // The search learns why from its next write.
        endProbe(Outcome::Of(OutcomeKind::TimeOut));
        return;
    }
    const Protocol protocol = probe_->probe.protocol;
    if (ProbeReplyComplete(protocol, probe_->rx)) {
        endProbe(ProbeReplyOutcome(protocol, probe_->probe.station, probe_->rx));
    } else if (clock_.MonotonicMicros() >= probe_->deadlineMicros) {
        endProbe(Outcome::Of(OutcomeKind::TimeOut));
    } else {
        armProbeTimer(clock_.MonotonicMicros());
    }
}

void PollEngine::endProbe(const Outcome& outcome) {
    tmrProbe_->SetEnabled(false);
    const ProbeInFlight ended = std::move(*probe_);
    probe_.reset();
    LineEvent event;
    event.type = LineEvent::Type::Outcome;
    event.request = LineRequest::Probe;
    event.protocol = ended.probe.protocol;
    event.station = ended.probe.station;
    event.bytes = ended.rx;
    event.outcome = outcome;
    event.statusText = OutcomeText(outcome, 0);
    event.replyMs = static_cast<double>(
                        std::max<std::int64_t>(0, clock_.MonotonicMicros() - ended.sentMicros)) /
                    1000.0;
    emitLineEvent(std::move(event));
}

void PollEngine::emitLineEvent(LineEvent event) {
    event.stamp = NowStamp(clock_);
    event.monoMicros = clock_.MonotonicMicros();
    events_.Emit(event);
}

}  // namespace tally
