#include "protocol/reply_decoder.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "protocol/hex.h"

namespace tally {

namespace {

using Kind = ReplyMeaning::Kind;

constexpr std::string_view kOutputAck = "DO>OK\r";
constexpr std::string_view kClearAck = "CCT>OK\r";
constexpr std::string_view kPresetAck = "RTC>OK\r";
constexpr std::string_view kStatusPrefix = "RTC>";

// The Modbus echo is compared over ":", station, function, coil and value (ASCII)
// or station, function, coil and value (RTU).
constexpr std::size_t kAsciiEchoLength = 13;
constexpr std::size_t kRtuEchoLength = 6;

bool IsWriteFunction(std::string_view functionHex) {
    return functionHex == "05" || functionHex == "0F";
}

// Bit k of a HexToBits array; a text shorter than two digits has fewer bits, the rest are 0.
std::int16_t BitAt(const BitArray& bits, std::size_t k) {
    return k < bits.size() ? bits[k] : 0;
}

ReplyMeaning Meaning(Kind kind) {
    ReplyMeaning meaning;
    meaning.kind = kind;
    return meaning;
}

ReplyMeaning DecodeCommandReply(std::string_view rx, int units, Protocol protocol,
                                std::string_view pendingFrame) {
    switch (protocol) {
        case Protocol::Own:
            if (rx == kOutputAck) return Meaning(Kind::OutputAck);
            if (rx == kClearAck) return Meaning(Kind::ClearAck);
            if (rx == kPresetAck) return Meaning(Kind::PresetAck);
            if (units == 4 && rx.substr(0, kStatusPrefix.size()) == kStatusPrefix) {
                ReplyMeaning meaning = Meaning(Kind::EnableStatus);
                const BitArray bits = HexToBits(rx.substr(kStatusPrefix.size(), 2));
                for (std::size_t k = 0; k < 8; ++k)
                    meaning.enableFlags[k] = BitAt(bits, k);
                return meaning;
            }
            return Meaning(Kind::Nothing);
        case Protocol::ModbusAscii:
            // A reply shorter than the echo never matches, even against a short pending frame.
            if (rx.size() >= kAsciiEchoLength && pendingFrame.size() >= kAsciiEchoLength &&
                rx.substr(0, kAsciiEchoLength) == pendingFrame.substr(0, kAsciiEchoLength) &&
                IsWriteFunction(rx.substr(3, 2)))
                return Meaning(Kind::OutputAck);
            return Meaning(Kind::Nothing);
        case Protocol::ModbusRtu:
            if (rx.size() >= kRtuEchoLength && pendingFrame.size() >= kRtuEchoLength &&
                rx.substr(0, kRtuEchoLength) == pendingFrame.substr(0, kRtuEchoLength) &&
                IsWriteFunction(BytesToHex(rx.substr(1, 1))))
                return Meaning(Kind::OutputAck);
            return Meaning(Kind::Nothing);
    }
    return Meaning(Kind::Nothing);
}

// Own-protocol channel character at zero-based index: "1" on, "0" off, else absent.
std::optional<std::int16_t> OwnChannel(std::string_view body, std::size_t index) {
    if (index >= body.size()) return std::nullopt;
    if (body[index] == '0') return 0;
    if (body[index] == '1') return 1;
    return std::nullopt;
}

// A counter field is one to eight hex digits: 32 bits at most, nothing else in it.
bool IsCounterField(std::string_view field) {
    return !field.empty() && field.size() <= 8 &&
           std::all_of(field.begin(), field.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

void DecodeOwnCounters(std::string_view text, ReplyMeaning& meaning) {
    const auto body = OwnReplyBody(text);
    if (!body) return;
    std::size_t pos = 0;
    for (std::size_t k = 0; k < 8 && pos <= body->size(); ++k) {
        std::size_t comma = body->find(',', pos);
        if (comma == std::string_view::npos) comma = body->size();
        const std::string_view field = body->substr(pos, comma - pos);
        // An empty or malformed field is a missing value, not a zero.
        if (IsCounterField(field)) meaning.counters[k] = HexToNumber(field);
        pos = comma + 1;
    }
}

// The first data byte of a Modbus read reply as two hex digits; nullopt when the
// reply is too short to hold it (an RTU read with no answer lands here).
std::optional<std::string> ModbusFirstDataByte(std::string_view text, Protocol protocol) {
    if (protocol == Protocol::ModbusAscii) {
        if (text.size() < 9) return std::nullopt;
        return std::string(text.substr(7, 2));
    }
    if (text.size() < 4) return std::nullopt;
    return BytesToHex(text.substr(3, 1));
}

void DecodeModbusFlags(std::string_view text, Protocol protocol, ReplyMeaning& meaning) {
    const auto byteHex = ModbusFirstDataByte(text, protocol);
    if (!byteHex) return;
    const BitArray bits = HexToBits(*byteHex);
    for (std::size_t k = 0; k < 8; ++k)
        meaning.channels[k] = BitAt(bits, k);
}

// The data bytes of a Modbus function-03 reply: what follows the byte count, cut
// to the count, so a trailing LRC or CRC is never read as data when the count is right.
std::string ModbusReadData(std::string_view text, Protocol protocol) {
    std::size_t count = 0;
    std::string data;
    if (protocol == Protocol::ModbusAscii) {
        if (text.size() < 7) return data;
        count = static_cast<std::size_t>(GroupValue(text.substr(5, 2)));
        data = HexToBytes(text.substr(7));
    } else {
        if (text.size() < 3) return data;
        count = static_cast<unsigned char>(text[2]);
        data = std::string(text.substr(3));
    }
    if (data.size() > count) data.resize(count);
    return data;
}

}  // namespace

std::optional<std::string_view> OwnReplyBody(std::string_view text) {
    const std::size_t start = text.find('>');
    if (start == std::string_view::npos) return std::nullopt;
    std::string_view body = text.substr(start + 1);
    const std::size_t end = body.find('>');
    if (end != std::string_view::npos) body = body.substr(0, end);
    return body;
}

std::optional<double> ModbusCounterValue(std::string_view data, int channel) {
    if (channel < 1 || channel > 8) return std::nullopt;
    const std::size_t first = kModbusCounterBytes * static_cast<std::size_t>(channel - 1);
    if (data.size() < first + kModbusCounterBytes) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < kModbusCounterBytes; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[first + i]);
    return static_cast<double>(value);
}

ReplyMeaning DecodeReplyBytes(std::string_view rx, int pollStep, Protocol protocol,
                              std::string_view pendingFrame) {
    if (protocol != Protocol::Own && protocol != Protocol::ModbusAscii &&
        protocol != Protocol::ModbusRtu)
        return Meaning(Kind::Nothing);

    const int units = pollStep % 10;
    // A reply to a user command is never also read as a poll reply.
    if (units != 0) return DecodeCommandReply(rx, units, protocol, pendingFrame);

    std::string_view text = rx;
    if (protocol == Protocol::Own) text.remove_suffix(std::min<std::size_t>(1, text.size()));
    if (protocol == Protocol::ModbusAscii)
        text.remove_suffix(std::min<std::size_t>(2, text.size()));

    ReplyMeaning meaning;
    switch (pollStep - units) {
        case 10:
            meaning.kind = Kind::Counters;
            if (protocol == Protocol::Own) {
                DecodeOwnCounters(text, meaning);
            } else {
                const std::string data = ModbusReadData(text, protocol);
                for (int k = 1; k <= 8; ++k)
                    meaning.counters[k - 1] = ModbusCounterValue(data, k);
            }
            return meaning;
        case 20:
        case 30: {
            const bool inputs = pollStep - units == 20;
            meaning.kind = inputs ? Kind::Inputs : Kind::Outputs;
            if (protocol == Protocol::Own) {
                const auto body = OwnReplyBody(text);
                if (!body) return meaning;
                // Inputs are body characters 9-16; outputs are characters 1-8.
                const std::size_t first = inputs ? 8 : 0;
                for (std::size_t k = 0; k < 8; ++k)
                    meaning.channels[k] = OwnChannel(*body, first + k);
            } else {
                DecodeModbusFlags(text, protocol, meaning);
            }
            return meaning;
        }
        default:
            return Meaning(Kind::Nothing);
    }
}

}  // namespace tally
