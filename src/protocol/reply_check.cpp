#include "protocol/reply_check.h"

#include <algorithm>
#include <optional>
#include <string>

#include "protocol/checksum.h"
#include "protocol/completeness.h"
#include "protocol/hex.h"
#include "protocol/reply_decoder.h"
#include "protocol/request_shape.h"

namespace tally {

namespace {

const Outcome kOk = Outcome::Ok();
const Outcome kBad = Outcome::Of(OutcomeKind::BadReply);
const Outcome kChecksum = Outcome::Of(OutcomeKind::ChecksumError);

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The first `count` characters exist and are all "0" or "1".
bool ChannelCharacters(std::string_view body, std::size_t count) {
    return body.size() >= count && std::all_of(body.begin(), body.begin() + count,
                                               [](char c) { return c == '0' || c == '1'; });
}

Outcome CheckOwnReply(std::string_view command, std::string_view rx) {
    if (rx.empty() || rx.back() != CR) return kBad;
    if (command == "RCT" || command == "RDI" || command == "RDO") {
        const auto body = OwnReplyBody(rx.substr(0, rx.size() - 1));
        if (!body) return kBad;
        if (command == "RCT") return std::count(body->begin(), body->end(), ',') == 7 ? kOk : kBad;
        return ChannelCharacters(*body, command == "RDI" ? 16 : 8) ? kOk : kBad;
    }
    // Each command has its own acknowledgement; one meant for another command is
    // no proof that this one was carried out.
    if (StartsWith(command, "WDO")) return rx == "DO>OK\r" ? kOk : kBad;
    if (StartsWith(command, "CCT")) return rx == "CCT>OK\r" ? kOk : kBad;
    if (StartsWith(command, "WRTC")) return rx == "RTC>OK\r" ? kOk : kBad;
    if (StartsWith(command, "RRTC"))
        return rx.size() == 7 && StartsWith(rx, "RTC>") && IsHexDigit(rx[4]) && IsHexDigit(rx[5])
                   ? kOk
                   : kBad;
    return kBad;
}

// ":" upper-case hex LRC CR LF; the bytes before the LRC, or why not.
Outcome TakeAsciiFrame(std::string_view rx, std::string& adu) {
    // At least a station, a function and the LRC.
    if (rx.size() < 1 + 6 + 2 || rx.front() != ':' ||
        !EndsWithTerminator(Protocol::ModbusAscii, rx))
        return kBad;
    const std::string_view hex = rx.substr(1, rx.size() - 3);
    if (hex.size() % 2 != 0 || !std::all_of(hex.begin(), hex.end(), IsUpperHexDigit)) return kBad;
    const std::string_view payload = hex.substr(0, hex.size() - 2);
    if (LrcOfHex(payload) != hex.substr(hex.size() - 2)) return kChecksum;
    adu = HexToBytes(payload);
    return kOk;
}

// Bytes, then the CRC low byte first; the bytes before the CRC, or why not.
Outcome TakeRtuFrame(std::string_view rx, std::string& adu) {
    // At least a station, a function and the CRC.
    if (rx.size() < 4) return kBad;
    const std::string_view bytes = rx.substr(0, rx.size() - 2);
    if (HexToBytes(CrcOfHex(BytesToHex(bytes))) != rx.substr(rx.size() - 2)) return kChecksum;
    adu = std::string(bytes);
    return kOk;
}

Outcome CheckModbusAdu(const ModbusAsk& ask, std::string_view adu) {
    const auto byteAt = [adu](std::size_t i) { return static_cast<unsigned char>(adu[i]); };
    if (adu.size() < 2 || byteAt(0) != ask.station) return kBad;
    // An exception reply: station, function + 80 hex, the exception code.
    if (byteAt(1) == (ask.function | 0x80))
        return adu.size() == 3 ? Outcome::ExceptionCode(byteAt(2)) : kBad;
    if (static_cast<int>(byteAt(1)) != ask.function) return kBad;
    if (ask.write)
        return adu.size() == 6 && adu == std::string_view(ask.adu).substr(0, 6) ? kOk : kBad;
    return adu.size() == 3 + ask.dataBytes && byteAt(2) == ask.dataBytes ? kOk : kBad;
}

}  // namespace

Outcome CheckReply(Protocol protocol, std::string_view request, std::string_view rx) {
    if (protocol == Protocol::Own) return CheckOwnReply(OwnCommandOf(request), rx);
    const auto ask = ModbusAskOf(protocol, request);
    if (!ask) return kBad;
    // Bytes beyond the frame's own length belong to no frame of the request's.
    if (protocol == Protocol::ModbusRtu) {
        const auto length = RtuReplyLength(request, rx);
        if (length && rx.size() > *length) return kBad;
    }
    std::string adu;
    const Outcome frame =
        protocol == Protocol::ModbusAscii ? TakeAsciiFrame(rx, adu) : TakeRtuFrame(rx, adu);
    if (frame != kOk) return frame;
    return CheckModbusAdu(*ask, adu);
}

}  // namespace tally
