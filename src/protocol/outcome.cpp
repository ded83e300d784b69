#include "protocol/outcome.h"

#include <cstdio>

namespace tally {

std::string ExceptionName(int code) {
    // Exception codes of the Modbus application protocol that a server of this
    // size can send.
    switch (code) {
        case 1:
            return "Illegal Function";
        case 2:
            return "Illegal Data Address";
        case 3:
            return "Illegal Data Value";
        case 4:
            return "Server Device Failure";
        case 6:
            return "Server Device Busy";
        default:
            return std::string();
    }
}

std::string OutcomeText(const Outcome& outcome, int pollStep) {
    switch (outcome.kind) {
        case OutcomeKind::Success:
            switch (pollStep % 10) {
                case 0:
                    return "Read OK";
                case 4:
                    return "Read DC Status OK";
                default:
                    return "Write OK";
            }
        case OutcomeKind::TimeOut:
            return "Time Out";
        case OutcomeKind::ChecksumError:
            return "Checksum Error";
        case OutcomeKind::BadReply:
            return "Bad Reply";
        case OutcomeKind::Exception:
            break;
    }
    char code[8];
    std::snprintf(code, sizeof code, "%02X", static_cast<unsigned>(outcome.exceptionCode & 0xFF));
    const std::string name = ExceptionName(outcome.exceptionCode);
    return "Exception " + std::string(code) + (name.empty() ? "" : " " + name);
}

}  // namespace tally
