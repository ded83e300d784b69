#include "sim/simulator_core.h"

#include <algorithm>
#include <utility>

#include "sim/modbus_slave.h"
#include "sim/own_protocol.h"

namespace tally::sim {

namespace {

constexpr int kDefaultBaud = 9600;

}  // namespace

SimulatorCore::SimulatorCore(const SimOptions& options)
    : options(options),
      state(options.seed),
      // Separate streams, so turning one fault on does not change another's choices.
      faults(options.seed * 0x9E3779B97F4A7C15ULL + 1),
      noiseRandom(options.seed * 0xD1B54A32D192ED03ULL + 2),
      stationRandom(options.seed * 0x8CB92BA72F3D8DD7ULL + 3) {}

std::int64_t SimulatorCore::byteTimeUs(std::size_t bytes) const {
    const int baud = lineBaud > 0 ? lineBaud : kDefaultBaud;
    // Ten bits a byte: start, eight data bits, stop.
    return static_cast<std::int64_t>(bytes) * 10'000'000LL / baud;
}

void SimulatorCore::log(std::int64_t timeUs, bool sent, std::string bytes, std::string note) {
    logEntries.push_back({timeUs, sent, std::move(bytes), std::move(note)});
}

std::vector<LogEntry> SimulatorCore::takeLog() {
    std::vector<LogEntry> entries;
    entries.swap(logEntries);
    return entries;
}

bool SimulatorCore::takeChanged() {
    return std::exchange(changed, false);
}

std::string SimulatorCore::statsJson() const {
    return counts.toJson(lineBaud, state.toJson());
}

void SimulatorCore::receive(std::int64_t nowUs, std::string_view bytes, int baud) {
    if (bytes.empty()) return;
    if (options.baud != 0 && baud != options.baud) {
        // A module set to another speed hears only garbage and never answers.
        counts.wrongSpeedBytes += bytes.size();
        log(nowUs, false, std::string(bytes), "ignored: line at " + std::to_string(baud) + " baud");
        changed = true;
        return;
    }
    lineBaud = baud;
    framer.setBaud(baud);
    if (auto ended = framer.expire(nowUs)) handleFrame(*ended);
    // A stray burst waiting for an idle line is not sent once the master talks.
    noiseDueUs.reset();

    if (!framer.receiving() && lastAnswerEndUs && nowUs < *lastAnswerEndUs &&
        nowUs - lastRequestEndUs < kReplyDeadlineUs) {
        ++counts.overlaps;
        log(nowUs, false, {}, "overlap: request started while the previous answer was going out");
        changed = true;
    }
    for (const auto& frame : framer.feed(nowUs, bytes))
        handleFrame(frame);
}

RequestOutcome SimulatorCore::answerFrame(const ReceivedFrame& frame) {
    switch (frame.kind) {
        case ReceivedFrame::Kind::Own:
            ++counts.own;
            return AnswerOwnRequest(state, options.station, frame.bytes);
        case ReceivedFrame::Kind::ModbusAscii:
            ++counts.modbusAscii;
            return AnswerModbusAscii(state, options.station, frame.bytes, options.exceptions);
        case ReceivedFrame::Kind::ModbusRtu:
            ++counts.modbusRtu;
            return AnswerModbusRtu(state, options.station, frame.bytes, options.exceptions);
        case ReceivedFrame::Kind::Junk:
            break;
    }
    return {};
}

void SimulatorCore::handleFrame(const ReceivedFrame& frame) {
    changed = true;
    if (frame.kind == ReceivedFrame::Kind::Junk) {
        ++counts.junk;
        log(frame.endUs, false, frame.bytes, "junk");
        return;
    }
    ++counts.requests;
    if (AsksToWrite(frame)) ++counts.writes;
    // The module lives on whether or not the request is for it.
    state.step();
    const RequestOutcome outcome = answerFrame(frame);
    lastRequestEndUs = frame.endUs;
    lastAnswerEndUs.reset();

    std::string note = std::string(FrameKindName(frame.kind)) + ", " + KindName(outcome.kind);
    switch (outcome.kind) {
        case RequestOutcome::Kind::OtherStation:
            ++counts.otherStation;
            break;
        case RequestOutcome::Kind::Broadcast:
            ++counts.broadcasts;
            break;
        case RequestOutcome::Kind::BadChecksum:
            ++counts.badChecksum;
            break;
        case RequestOutcome::Kind::Invalid:
            ++counts.invalid;
            break;
        case RequestOutcome::Kind::Answer:
            break;
    }
    if (outcome.kind != RequestOutcome::Kind::Answer) {
        log(frame.endUs, false, frame.bytes, note);
        return;
    }
    // Both draws are made for every answer so one option does not shift the other.
    const bool drop = faults.chance(options.dropProbability);
    const bool garble = faults.chance(options.garbleProbability);
    if (drop) {
        ++counts.dropped;
        log(frame.endUs, false, frame.bytes, note + ", dropped");
        return;
    }
    log(frame.endUs, false, frame.bytes, note);
    std::string answer = outcome.reply;
    std::string answerNote = outcome.exception ? "exception" : "answer";
    if (outcome.exception) ++counts.exceptions;
    const bool modbus = frame.kind != ReceivedFrame::Kind::Own;
    if (modbus && stationRandom.chance(options.wrongStationProbability)) {
        ++counts.wrongStation;
        // Any station but this one.
        answer = ReaddressModbusAnswer(frame.kind == ReceivedFrame::Kind::ModbusAscii, answer,
                                       options.station % 31 + 1);
        answerNote += ", as station " + std::to_string(options.station % 31 + 1);
    }
    if (garble) {
        ++counts.garbled;
        const int flips = static_cast<int>(faults.between(1, 2));
        for (int i = 0; i < flips; ++i) {
            const auto at = static_cast<std::size_t>(
                faults.between(0, static_cast<std::int64_t>(answer.size()) - 1));
            answer[at] = static_cast<char>(answer[at] ^ faults.between(1, 255));
        }
        answerNote += ", garbled";
    }
    ++counts.answers;
    scheduleAnswer(frame.endUs, std::move(answer), answerNote);
}

void SimulatorCore::queuePiece(std::int64_t startUs, std::string bytes, std::string note) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        tx.push_back({startUs + byteTimeUs(i + 1), bytes[i], i + 1 == bytes.size()});
    txBusyUntilUs = startUs + byteTimeUs(bytes.size());
    pieces.push_back({std::move(bytes), std::move(note)});
}

void SimulatorCore::scheduleAnswer(std::int64_t requestEndUs, std::string answer,
                                   const std::string& note) {
    // Half duplex: an answer waits for whatever is still going out.
    std::int64_t startUs =
        std::max(requestEndUs + std::int64_t{options.delayMs} * 1000, txBusyUntilUs);
    std::vector<std::string> parts;
    if (options.split && answer.size() >= 2) {
        ++counts.split;
        const auto count =
            std::min<std::int64_t>(faults.between(2, 3), static_cast<std::int64_t>(answer.size()));
        std::size_t from = 0;
        for (std::int64_t p = 1; p < count; ++p) {
            const auto remaining = static_cast<std::int64_t>(answer.size() - from);
            const auto length =
                static_cast<std::size_t>(faults.between(1, remaining - (count - p)));
            parts.push_back(answer.substr(from, length));
            from += length;
        }
        parts.push_back(answer.substr(from));
    } else {
        parts.push_back(std::move(answer));
    }
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (p > 0) startUs = txBusyUntilUs + faults.between(10, 60) * 1000;
        const std::string pieceNote = parts.size() > 1 ? note + ", piece " + std::to_string(p + 1) +
                                                             "/" + std::to_string(parts.size())
                                                       : note;
        queuePiece(startUs, std::move(parts[p]), pieceNote);
    }
    lastAnswerEndUs = txBusyUntilUs;
    if (options.noise) {
        // Stray bytes well after the master's deadline, when the line should be idle.
        noiseDueUs = txBusyUntilUs + noiseRandom.between(120, 500) * 1000;
        noiseBytes.clear();
        const auto length = noiseRandom.between(1, 4);
        for (std::int64_t i = 0; i < length; ++i)
            noiseBytes += static_cast<char>(noiseRandom.between(0, 255));
    }
}

std::string SimulatorCore::advance(std::int64_t nowUs) {
    if (auto ended = framer.expire(nowUs)) handleFrame(*ended);
    if (noiseDueUs && nowUs >= *noiseDueUs) {
        noiseDueUs.reset();
        if (tx.empty() && !framer.receiving()) {
            ++counts.noise;
            changed = true;
            queuePiece(nowUs, noiseBytes, "noise");
        }
    }
    std::string out;
    while (!tx.empty() && tx.front().dueUs <= nowUs) {
        out += tx.front().byte;
        if (tx.front().endsPiece) {
            log(tx.front().dueUs, true, pieces.front().bytes, pieces.front().note);
            pieces.pop_front();
        }
        tx.pop_front();
    }
    return out;
}

std::optional<std::int64_t> SimulatorCore::nextWakeUs() const {
    std::optional<std::int64_t> wake = framer.nextExpiryUs();
    const auto earliest = [&wake](std::int64_t t) { wake = wake ? std::min(*wake, t) : t; };
    if (!tx.empty()) earliest(tx.front().dueUs);
    if (noiseDueUs) earliest(*noiseDueUs);
    return wake;
}

}  // namespace tally::sim
