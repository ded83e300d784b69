// The simulated modules on their line, without any I/O: requests come in as bytes
// with time stamps, answers go out as bytes due at given times. The program
// around it owns the pseudo-terminal and the clock. Several stations share the
// line as on RS-485: one receiver framing every request, one transmitter, and per
// station a module with its own life, faults and counts.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/line_stats.h"
#include "sim/module_state.h"
#include "sim/request_framer.h"
#include "sim/request_outcome.h"
#include "sim/seeded_random.h"
#include "sim/sim_options.h"

namespace tally::sim {

struct LogEntry {
    std::int64_t timeUs = 0;  // when the last byte was on the line
    bool sent = false;
    std::string bytes;
    std::string note;
};

class SimulatorCore {
  public:
    // The master's reply deadline; a request while an answer is still going out is an
    // overlap when it comes sooner than this after the previous one, or when that
    // answer began before it (the master could hear that the line was busy).
    static constexpr std::int64_t kReplyDeadlineUs = 300'000;

    explicit SimulatorCore(const SimOptions& options);

    // Bytes from the master at nowUs; lineBaud is the speed the master set.
    void receive(std::int64_t nowUs, std::string_view bytes, int lineBaud);
    // Lets time pass to nowUs and returns the bytes to write to the line now.
    std::string advance(std::int64_t nowUs);
    // When advance() next has something to do.
    std::optional<std::int64_t> nextWakeUs() const;

    // The line's counts; a station's own counts (nullptr when it is not listed).
    const LineStats& stats() const { return counts; }
    const LineStats* stats(int station) const;
    // The first listed station's module, or a given station's (nullptr if not listed).
    const ModuleState& module() const { return drops.front().state; }
    ModuleState& module() { return drops.front().state; }
    const ModuleState* module(int station) const;
    std::vector<LogEntry> takeLog();
    // True once after each change of the counts or the module state.
    bool takeChanged();
    std::string statsJson() const;
    std::string summary() const;

  private:
    // One module on the line.
    struct Drop {
        Drop(int station, std::uint64_t moduleSeed, std::uint64_t faultSeed);
        int station;
        ModuleState state;
        SeededRandom faults;
        SeededRandom readdress;
        LineStats counts;
    };
    struct TxByte {
        std::int64_t dueUs;
        char byte;
        bool endsPiece;
        bool answer;  // noise is not an answer
    };
    struct Piece {
        std::string bytes;
        std::string note;
    };

    void handleFrame(const ReceivedFrame& frame);
    Drop* addressed(const ReceivedFrame& frame);
    RequestOutcome answerFrame(Drop& drop, const ReceivedFrame& frame);
    void scheduleAnswer(Drop& drop, std::int64_t requestEndUs, std::string answer,
                        const std::string& note);
    void queuePiece(std::int64_t startUs, std::string bytes, std::string note, bool answer);
    std::int64_t byteTimeUs(std::size_t bytes) const;
    void log(std::int64_t timeUs, bool sent, std::string bytes, std::string note);

    SimOptions options;
    std::vector<Drop> drops;
    RequestFramer framer;
    SeededRandom noiseRandom;
    LineStats counts;
    int lineBaud = 0;

    std::deque<TxByte> tx;
    std::deque<Piece> pieces;
    std::int64_t txBusyUntilUs = 0;
    // When the master's last received byte has been on the line.
    std::int64_t rxBusyUntilUs = 0;

    std::int64_t lastRequestEndUs = 0;
    // When the latest answer starts going out, and when it ends.
    std::int64_t lastAnswerStartUs = 0;
    std::optional<std::int64_t> lastAnswerEndUs;
    // When the latest answer byte was written to the line, and whether the RTU
    // frame being received began sooner than the silence after it.
    std::optional<std::int64_t> lastAnswerByteUs;
    bool rtuStartedEarly = false;
    std::optional<std::int64_t> noiseDueUs;
    std::string noiseBytes;

    std::vector<LogEntry> logEntries;
    bool changed = true;
};

}  // namespace tally::sim
