#include "protocol/completeness.h"

#include <algorithm>

#include "protocol/request_shape.h"

namespace tally {

namespace {

// Own-protocol replies, by the command they answer: ">" and eight fields of eight
// digits with their commas, ">" and sixteen or eight channel characters, an
// acknowledgement; each with its CR.
constexpr std::size_t kOwnCounterReply = 1 + 8 * 8 + 7 + 1;
constexpr std::size_t kOwnInputReply = 1 + 16 + 1;
constexpr std::size_t kOwnOutputReply = 1 + 8 + 1;
constexpr std::size_t kOwnAcknowledgement = 7;
// A request that cannot be read back: the largest RTU frame the standard allows.
constexpr std::size_t kLargestModbusReply = 256;

std::size_t OwnReplyLength(std::string_view command) {
    if (command == "RCT" || command.empty()) return kOwnCounterReply;
    if (command == "RDI") return kOwnInputReply;
    if (command == "RDO") return kOwnOutputReply;
    return kOwnAcknowledgement;
}

}  // namespace

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

std::optional<std::size_t> RtuReplyLength(std::string_view request, std::string_view rx) {
    const auto ask = ModbusAskOf(Protocol::ModbusRtu, request);
    if (!ask) return std::nullopt;
    // Station, function with bit 7 set, exception code, CRC.
    if (rx.size() >= 2 && static_cast<unsigned char>(rx[1]) == (ask->function | 0x80)) return 5;
    // Station, function, address, value or quantity, CRC.
    if (ask->write) return 8;
    if (rx.size() < 3) return std::nullopt;
    const std::size_t count = static_cast<unsigned char>(rx[2]);
    return 3 + std::min(count, ask->dataBytes) + 2;
}

bool ReplyIsComplete(Protocol protocol, std::string_view request, std::string_view rx) {
    if (protocol != Protocol::ModbusRtu) return EndsWithTerminator(protocol, rx);
    const auto length = RtuReplyLength(request, rx);
    return length && rx.size() >= *length;
}

std::size_t LongestReplyLength(Protocol protocol, std::string_view request) {
    if (protocol == Protocol::Own) return OwnReplyLength(OwnCommandOf(request));
    const auto ask = ModbusAskOf(protocol, request);
    // Station, function, byte count and data, or the six bytes of a write echo.
    const std::size_t bytes = !ask ? kLargestModbusReply : ask->write ? 6 : 3 + ask->dataBytes;
    // ASCII: ":", two digits a byte, the LRC's two, CR LF. RTU: the bytes and the CRC.
    return protocol == Protocol::ModbusAscii ? 1 + 2 * bytes + 2 + 2 : bytes + 2;
}

std::int64_t WireMicros(std::size_t characters, int baud) {
    if (baud <= 0) return 0;
    return static_cast<std::int64_t>(characters) * 10 * 1'000'000 / baud;
}

std::int64_t RtuSilenceMicros(int baud) {
    if (baud > 19200) return 1750;
    if (baud <= 0) return 0;
    return (38'500'000 + baud - 1) / baud;
}

std::int64_t ReplyTimeoutMicros(Protocol protocol, std::string_view request, int baud) {
    return kReplyAllowanceMicros +
           WireMicros(request.size() + LongestReplyLength(protocol, request), baud);
}

}  // namespace tally
