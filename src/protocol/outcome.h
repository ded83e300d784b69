// How a request on the line ended, and what the status line says about it.
//
// This is the one table of outcome texts: the window, the line monitor, the
// statistics and the counter log read the outcome itself, never its text.
#pragma once

#include <cstdint>
#include <string>

namespace tally {

enum class OutcomeKind : std::uint8_t {
    Success,        // a whole, valid reply: its meaning may be applied
    TimeOut,        // nothing, or only part of a reply, by the deadline
    ChecksumError,  // a whole frame whose LRC or CRC is wrong
    BadReply,       // wrong station, function, byte count or layout
    Exception,      // a Modbus exception reply
};

struct Outcome {
    OutcomeKind kind = OutcomeKind::Success;
    // The Modbus exception code, for OutcomeKind::Exception only.
    int exceptionCode = 0;

    static Outcome Ok() { return {}; }
    static Outcome Of(OutcomeKind kind) { return {kind, 0}; }
    static Outcome ExceptionCode(int code) { return {OutcomeKind::Exception, code}; }

    bool operator==(const Outcome& other) const {
        return kind == other.kind && exceptionCode == other.exceptionCode;
    }
    bool operator!=(const Outcome& other) const { return !(*this == other); }
};

// Only a valid reply changes a counter, lamp, button or flag.
inline bool OutcomeApplies(const Outcome& outcome) {
    return outcome.kind == OutcomeKind::Success;
}

// The status-line text: a success names what succeeded by the units digit of the
// step code ("Read OK", "Read DC Status OK", "Write OK"); the others are
// "Time Out", "Checksum Error", "Bad Reply" and "Exception NN Name".
std::string OutcomeText(const Outcome& outcome, int pollStep);

// "Illegal Data Address" for 2; empty for a code without a standard name.
std::string ExceptionName(int code);

}  // namespace tally
