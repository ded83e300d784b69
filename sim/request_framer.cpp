#include "sim/request_framer.h"

namespace tally::sim {

const char* FrameKindName(ReceivedFrame::Kind kind) {
    switch (kind) {
        case ReceivedFrame::Kind::Own:
            return "own";
        case ReceivedFrame::Kind::ModbusAscii:
            return "ascii";
        case ReceivedFrame::Kind::ModbusRtu:
            return "rtu";
        case ReceivedFrame::Kind::Junk:
            return "junk";
    }
    return "junk";
}

bool AsksToWrite(const ReceivedFrame& frame) {
    const std::string& b = frame.bytes;
    const auto isWriteFunction = [](int function) {
        return function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10;
    };
    switch (frame.kind) {
        case ReceivedFrame::Kind::Own: {
            const std::string command = b.size() > 3 ? b.substr(3) : std::string();
            return command.rfind("WDO", 0) == 0 || command.rfind("CCT", 0) == 0 ||
                   command.rfind("WRTC", 0) == 0;
        }
        case ReceivedFrame::Kind::ModbusAscii: {
            if (b.size() < 5) return false;
            const std::string function = b.substr(3, 2);
            return function == "05" || function == "06" || function == "0F" || function == "0f" ||
                   function == "10";
        }
        case ReceivedFrame::Kind::ModbusRtu:
            return b.size() >= 2 && isWriteFunction(static_cast<unsigned char>(b[1]));
        case ReceivedFrame::Kind::Junk:
            break;
    }
    return false;
}

std::int64_t RequestFramer::RtuSilenceUs(int baud) {
    if (baud <= 0) baud = 9600;
    if (baud > 19200) return 1750;
    return (35LL * 11 * 1'000'000) / (10LL * baud);
}

std::optional<ReceivedFrame> RequestFramer::take(ReceivedFrame::Kind kind) {
    ReceivedFrame frame = std::move(current);
    frame.kind = overflow ? ReceivedFrame::Kind::Junk : kind;
    current = ReceivedFrame{};
    overflow = false;
    return frame;
}

std::vector<ReceivedFrame> RequestFramer::feed(std::int64_t nowUs, std::string_view bytes) {
    std::vector<ReceivedFrame> frames;
    if (auto stale = expire(nowUs)) frames.push_back(std::move(*stale));
    for (char byte : bytes) {
        const bool text = current.kind == ReceivedFrame::Kind::Own ||
                          current.kind == ReceivedFrame::Kind::ModbusAscii;
        if (receiving() && text && (byte == '#' || byte == ':')) {
            // A new start character abandons the unfinished text frame.
            if (auto junk = take(ReceivedFrame::Kind::Junk)) frames.push_back(std::move(*junk));
        }
        if (!receiving()) {
            current.startUs = nowUs;
            current.kind = byte == '#'   ? ReceivedFrame::Kind::Own
                           : byte == ':' ? ReceivedFrame::Kind::ModbusAscii
                                         : ReceivedFrame::Kind::ModbusRtu;
        }
        current.endUs = nowUs;
        const std::size_t limit =
            current.kind == ReceivedFrame::Kind::ModbusRtu ? kMaxRtuFrame : kMaxTextFrame;
        if (current.bytes.size() < limit)
            current.bytes += byte;
        else
            overflow = true;  // keep swallowing until the frame ends, then discard it

        if (current.kind == ReceivedFrame::Kind::Own && byte == '\r') {
            frames.push_back(*take(ReceivedFrame::Kind::Own));
        } else if (current.kind == ReceivedFrame::Kind::ModbusAscii && byte == '\n') {
            frames.push_back(*take(ReceivedFrame::Kind::ModbusAscii));
        }
    }
    return frames;
}

std::optional<std::int64_t> RequestFramer::nextExpiryUs() const {
    if (!receiving()) return std::nullopt;
    const bool rtu = current.kind == ReceivedFrame::Kind::ModbusRtu;
    return current.endUs + (rtu ? silenceUs : kTextTimeoutUs);
}

std::optional<ReceivedFrame> RequestFramer::expire(std::int64_t nowUs) {
    const auto due = nextExpiryUs();
    if (!due || nowUs < *due) return std::nullopt;
    const bool rtu = current.kind == ReceivedFrame::Kind::ModbusRtu;
    return take(rtu ? ReceivedFrame::Kind::ModbusRtu : ReceivedFrame::Kind::Junk);
}

}  // namespace tally::sim
