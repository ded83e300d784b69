// What the line monitor counts: for the whole line, and for each station the
// requests addressed to it and what it did with them.
#pragma once

#include <cstdint>
#include <string>

namespace tally::sim {

struct LineStats {
    std::uint64_t requests = 0;         // complete request frames received
    std::uint64_t writes = 0;           // of which asked to change a module (any station)
    std::uint64_t answers = 0;          // answers sent (exception replies included)
    std::uint64_t overlaps = 0;         // see SimulatorCore::kReplyDeadlineUs
    std::uint64_t dropped = 0;          // left unanswered by --drop
    std::uint64_t exceptions = 0;       // Modbus exception replies
    std::uint64_t otherStation = 0;     // for another station: ignored
    std::uint64_t broadcasts = 0;       // Modbus station 0: done, not answered
    std::uint64_t badChecksum = 0;      // LRC or CRC wrong: ignored
    std::uint64_t invalid = 0;          // not understood: ignored
    std::uint64_t junk = 0;             // unfinished or oversized frames thrown away
    std::uint64_t garbled = 0;          // answers corrupted by --garble
    std::uint64_t split = 0;            // answers sent in pieces by --split
    std::uint64_t noise = 0;            // stray bursts sent by --noise
    std::uint64_t wrongStation = 0;     // answers sent as another station by --wrong-station
    std::uint64_t wrongSpeedBytes = 0;  // received while the line was not at --baud
    std::uint64_t rtuEarly = 0;         // RTU requests begun within 3.5 characters of an answer
    std::uint64_t own = 0;
    std::uint64_t modbusAscii = 0;
    std::uint64_t modbusRtu = 0;

    // One JSON object of the counts; state is inserted as the "state" member and
    // stations (when not empty) as the "stations" member.
    std::string toJson(int lineBaud, const std::string& state,
                       const std::string& stations = {}) const;
    // The counts that belong to one station (not those of the line as a whole), as
    // members of a JSON object without its braces, one a line after indent.
    std::string stationJsonMembers(const std::string& indent) const;
    std::string summary(int lineBaud) const;
    // One line: "station S: requests 4, answers 3, ..." with the station's counts.
    std::string stationSummary(int station) const;
};

}  // namespace tally::sim
