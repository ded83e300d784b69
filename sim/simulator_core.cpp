#include "sim/simulator_core.h"

#include <algorithm>
#include <utility>

#include "sim/modbus_slave.h"
#include "sim/own_protocol.h"
#include "sim/strict_hex.h"

namespace tally::sim {

namespace {

constexpr int kDefaultBaud = 9600;

}  // namespace

SimulatorCore::Drop::Drop(int station, std::uint64_t moduleSeed, std::uint64_t faultSeed)
    : station(station),
      state(moduleSeed),
      // Separate streams, so turning one fault on does not change another's choices.
      faults(faultSeed * 0x9E3779B97F4A7C15ULL + 1),
      readdress(faultSeed * 0x8CB92BA72F3D8DD7ULL + 3) {}

SimulatorCore::SimulatorCore(const SimOptions& options)
    : options(options), noiseRandom(options.seed * 0xD1B54A32D192ED03ULL + 2) {
    for (const int station : options.stations) {
        if (drops.empty()) {
            // The first station lives exactly as a lone module with this seed would.
            drops.emplace_back(station, options.seed, options.seed);
            continue;
        }
        const std::uint64_t own =
            SeededRandom(options.seed ^ (0xA0761D6478BD642FULL * (std::uint64_t(station) + 1)))
                .next();
        // Seed 0 keeps every module still; their faults still differ.
        drops.emplace_back(station, options.seed == 0 ? 0 : own, own);
    }
    if (drops.empty()) drops.emplace_back(1, options.seed, options.seed);
}

const LineStats* SimulatorCore::stats(int station) const {
    for (const Drop& drop : drops)
        if (drop.station == station) return &drop.counts;
    return nullptr;
}

const ModuleState* SimulatorCore::module(int station) const {
    for (const Drop& drop : drops)
        if (drop.station == station) return &drop.state;
    return nullptr;
}

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
    std::string stations;
    if (drops.size() > 1) {
        stations = "{";
        for (const Drop& drop : drops) {
            stations += (stations.size() > 1 ? ",\n    \"" : "\n    \"") +
                        std::to_string(drop.station) + "\": {\n" +
                        drop.counts.stationJsonMembers("      ") +
                        "      \"state\": " + drop.state.toJson() + "}";
        }
        stations += "\n  }";
    }
    return counts.toJson(lineBaud, module().toJson(), stations);
}

std::string SimulatorCore::summary() const {
    std::string text = counts.summary(lineBaud);
    if (drops.size() > 1)
        for (const Drop& drop : drops)
            text += drop.counts.stationSummary(drop.station);
    return text;
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
    if (!framer.receiving() && bytes.front() != '#' && bytes.front() != ':') {
        // An RTU frame starts: the line must have been silent since the last answer byte.
        rtuStartedEarly =
            lastAnswerByteUs && nowUs - *lastAnswerByteUs < RequestFramer::RtuSilenceUs(baud);
    }
    // A stray burst waiting for an idle line is not sent once the master talks.
    noiseDueUs.reset();

    // Only an answer that begins after the master's deadline may meet its next request
    // unawares; one already coming by then tells the master the line is busy.
    if (!framer.receiving() && lastAnswerEndUs && nowUs < *lastAnswerEndUs &&
        (nowUs - lastRequestEndUs < kReplyDeadlineUs ||
         lastAnswerStartUs < lastRequestEndUs + kReplyDeadlineUs)) {
        ++counts.overlaps;
        log(nowUs, false, {}, "overlap: request started while the previous answer was going out");
        changed = true;
    }
    // The pseudo-terminal hands the master's bytes over at once; on a real line
    // each takes its time, so a module hears a request's last character only
    // after the whole request has been on the line.
    const std::int64_t startUs = std::max(nowUs, rxBusyUntilUs);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        for (const auto& frame : framer.feed(startUs + byteTimeUs(i + 1), bytes.substr(i, 1)))
            handleFrame(frame);
    }
    rxBusyUntilUs = startUs + byteTimeUs(bytes.size());
}

SimulatorCore::Drop* SimulatorCore::addressed(const ReceivedFrame& frame) {
    std::optional<unsigned long> address;
    if (frame.kind == ReceivedFrame::Kind::ModbusRtu && !frame.bytes.empty())
        address = static_cast<unsigned char>(frame.bytes[0]);
    else if (frame.kind != ReceivedFrame::Kind::ModbusRtu && frame.bytes.size() >= 3)
        address = ParseHexNumber(std::string_view(frame.bytes).substr(1, 2));
    if (!address) return nullptr;
    for (Drop& drop : drops)
        if (static_cast<unsigned long>(drop.station) == *address) return &drop;
    return nullptr;
}

RequestOutcome SimulatorCore::answerFrame(Drop& drop, const ReceivedFrame& frame) {
    switch (frame.kind) {
        case ReceivedFrame::Kind::Own:
            return AnswerOwnRequest(drop.state, drop.station, frame.bytes);
        case ReceivedFrame::Kind::ModbusAscii:
            return AnswerModbusAscii(drop.state, drop.station, frame.bytes, options.exceptions);
        case ReceivedFrame::Kind::ModbusRtu:
            return AnswerModbusRtu(drop.state, drop.station, frame.bytes, options.exceptions);
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
    const bool rtu = frame.kind == ReceivedFrame::Kind::ModbusRtu;
    const bool early = rtu && std::exchange(rtuStartedEarly, false);
    // The modules live on whether or not the request is for them.
    for (Drop& drop : drops)
        drop.state.step();
    // A frame for no listed station is still judged (checksum, form) as a lone module
    // would, so one listed station counts exactly as before.
    Drop* const target = addressed(frame);
    Drop& drop = target != nullptr ? *target : drops.front();
    const RequestOutcome outcome = answerFrame(drop, frame);
    const bool broadcast = outcome.kind == RequestOutcome::Kind::Broadcast;
    // Counted for the line, and for the station the request named (a broadcast names none).
    LineStats* const mine = target != nullptr && !broadcast ? &target->counts : nullptr;
    const auto count = [&](std::uint64_t LineStats::*field) {
        ++(counts.*field);
        if (mine != nullptr) ++(mine->*field);
    };
    count(&LineStats::requests);
    if (AsksToWrite(frame)) count(&LineStats::writes);
    if (early) count(&LineStats::rtuEarly);
    count(frame.kind == ReceivedFrame::Kind::Own           ? &LineStats::own
          : frame.kind == ReceivedFrame::Kind::ModbusAscii ? &LineStats::modbusAscii
                                                           : &LineStats::modbusRtu);
    lastRequestEndUs = frame.endUs;
    lastAnswerEndUs.reset();

    // On a line of several stations the log names the one that took the request.
    const std::string who =
        drops.size() > 1 && mine != nullptr ? "station " + std::to_string(drop.station) + ": " : "";
    std::string note =
        who + FrameKindName(frame.kind) + ", " + KindName(outcome.kind) + (early ? ", early" : "");
    switch (outcome.kind) {
        case RequestOutcome::Kind::OtherStation:
            count(&LineStats::otherStation);
            break;
        case RequestOutcome::Kind::Broadcast:
            // Every module on the line carries out a broadcast write.
            ++counts.broadcasts;
            for (Drop& other : drops) {
                if (&other != &drop) answerFrame(other, frame);
                ++other.counts.broadcasts;
            }
            break;
        case RequestOutcome::Kind::BadChecksum:
            count(&LineStats::badChecksum);
            break;
        case RequestOutcome::Kind::Invalid:
            count(&LineStats::invalid);
            break;
        case RequestOutcome::Kind::Answer:
            break;
    }
    if (outcome.kind != RequestOutcome::Kind::Answer) {
        log(frame.endUs, false, frame.bytes, note);
        return;
    }
    // Both draws are made for every answer so one option does not shift the other.
    const bool lose = drop.faults.chance(options.dropProbability);
    const bool garble = drop.faults.chance(options.garbleProbability);
    if (lose) {
        count(&LineStats::dropped);
        log(frame.endUs, false, frame.bytes, note + ", dropped");
        return;
    }
    log(frame.endUs, false, frame.bytes, note);
    std::string answer = outcome.reply;
    std::string answerNote = who + (outcome.exception ? "exception" : "answer");
    if (outcome.exception) count(&LineStats::exceptions);
    const bool modbus = frame.kind != ReceivedFrame::Kind::Own;
    if (modbus && drop.readdress.chance(options.wrongStationProbability)) {
        count(&LineStats::wrongStation);
        // Any station but this one.
        const int other = drop.station % 31 + 1;
        answer =
            ReaddressModbusAnswer(frame.kind == ReceivedFrame::Kind::ModbusAscii, answer, other);
        answerNote += ", as station " + std::to_string(other);
    }
    if (garble) {
        count(&LineStats::garbled);
        const int flips = static_cast<int>(drop.faults.between(1, 2));
        for (int i = 0; i < flips; ++i) {
            const auto at = static_cast<std::size_t>(
                drop.faults.between(0, static_cast<std::int64_t>(answer.size()) - 1));
            answer[at] = static_cast<char>(answer[at] ^ drop.faults.between(1, 255));
        }
        answerNote += ", garbled";
    }
    count(&LineStats::answers);
    // An RTU frame has no end mark: the module knows it has ended, and may answer,
    // only once the line has been silent for 3.5 characters after it.
    const std::int64_t heardUs =
        frame.endUs +
        (frame.kind == ReceivedFrame::Kind::ModbusRtu ? RequestFramer::RtuSilenceUs(lineBaud) : 0);
    scheduleAnswer(drop, heardUs, std::move(answer), answerNote);
}

void SimulatorCore::queuePiece(std::int64_t startUs, std::string bytes, std::string note,
                               bool answer) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        tx.push_back({startUs + byteTimeUs(i + 1), bytes[i], i + 1 == bytes.size(), answer});
    txBusyUntilUs = startUs + byteTimeUs(bytes.size());
    pieces.push_back({std::move(bytes), std::move(note)});
}

void SimulatorCore::scheduleAnswer(Drop& drop, std::int64_t requestEndUs, std::string answer,
                                   const std::string& note) {
    // Half duplex: an answer waits for whatever is still going out.
    std::int64_t startUs =
        std::max(requestEndUs + std::int64_t{options.delayMs} * 1000, txBusyUntilUs);
    lastAnswerStartUs = startUs;
    std::vector<std::string> parts;
    if (options.split && answer.size() >= 2) {
        ++counts.split;
        ++drop.counts.split;
        SeededRandom& faults = drop.faults;
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
        if (p > 0) startUs = txBusyUntilUs + drop.faults.between(10, 60) * 1000;
        const std::string pieceNote = parts.size() > 1 ? note + ", piece " + std::to_string(p + 1) +
                                                             "/" + std::to_string(parts.size())
                                                       : note;
        queuePiece(startUs, std::move(parts[p]), pieceNote, true);
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
            queuePiece(nowUs, noiseBytes, "noise", false);
        }
    }
    // With chunks, only what was due at the last tick of their grid goes out.
    const std::int64_t chunkUs = std::int64_t{options.chunkMs} * 1000;
    const std::int64_t handOverUs = chunkUs > 0 ? nowUs - nowUs % chunkUs : nowUs;
    std::string out;
    while (!tx.empty() && tx.front().dueUs <= handOverUs) {
        out += tx.front().byte;
        // Written now: the master can hear it from now on, however late the loop woke.
        if (tx.front().answer) lastAnswerByteUs = nowUs;
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
    if (!tx.empty()) {
        const std::int64_t due = tx.front().dueUs;
        const std::int64_t chunkUs = std::int64_t{options.chunkMs} * 1000;
        earliest(chunkUs > 0 ? (due + chunkUs - 1) / chunkUs * chunkUs : due);
    }
    if (noiseDueUs) earliest(*noiseDueUs);
    return wake;
}

}  // namespace tally::sim
