#include "protocol/completeness.h"

namespace tally {

bool EndsWithTerminator(Protocol protocol, std::string_view rx) {
    switch (protocol) {
        case Protocol::Own:
            return !rx.empty() && rx.back() == CR;
        case Protocol::ModbusAscii:
            return rx.size() >= 2 && rx[rx.size() - 2] == CR && rx.back() == LF;
        case Protocol::ModbusRtu:
            return false;
    }
    return false;
}

bool ReplyIsComplete(Protocol protocol, std::string_view rx, bool deadlinePassed) {
    if (protocol == Protocol::ModbusRtu) return deadlinePassed;
    return EndsWithTerminator(protocol, rx);
}

}  // namespace tally
