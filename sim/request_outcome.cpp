#include "sim/request_outcome.h"

namespace tally::sim {

const char* KindName(RequestOutcome::Kind kind) {
    switch (kind) {
        case RequestOutcome::Kind::Answer:
            return "answer";
        case RequestOutcome::Kind::Broadcast:
            return "broadcast";
        case RequestOutcome::Kind::OtherStation:
            return "other station";
        case RequestOutcome::Kind::BadChecksum:
            return "bad checksum";
        case RequestOutcome::Kind::Invalid:
            return "invalid";
    }
    return "invalid";
}

}  // namespace tally::sim
