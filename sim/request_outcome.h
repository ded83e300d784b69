// What the module made of one complete request frame.
#pragma once

#include <string>

namespace tally::sim {

struct RequestOutcome {
    enum class Kind {
        Answer,        // reply holds the answer to send
        Broadcast,     // Modbus station 0: acted on, never answered
        OtherStation,  // addressed to another station: ignored
        BadChecksum,   // LRC or CRC wrong: ignored, nothing changed
        Invalid,       // not a request the module understands: ignored
    };
    Kind kind = Kind::Invalid;
    std::string reply;
    bool exception = false;  // the answer is a Modbus exception reply
};

const char* KindName(RequestOutcome::Kind kind);

}  // namespace tally::sim
