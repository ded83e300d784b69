#include "sim/modbus_slave.h"

#include "protocol/checksum.h"
#include "protocol/hex.h"
#include "sim/strict_hex.h"

namespace tally::sim {

namespace {

using Kind = RequestOutcome::Kind;

constexpr int kCoils = 8;
constexpr int kDiscreteInputs = 16;
constexpr int kHoldingRegisters = 32;

int Word(std::string_view bytes, std::size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 8) | static_cast<unsigned char>(bytes[at + 1]);
}

void AppendWord(std::string& bytes, unsigned value) {
    bytes += static_cast<char>((value >> 8) & 0xFF);
    bytes += static_cast<char>(value & 0xFF);
}

std::string Exception(unsigned char function, ModbusException code) {
    return {static_cast<char>(function | 0x80), static_cast<char>(code)};
}

// Bit i of point (start + i), packed least significant bit first as the standard says.
std::string PackBits(unsigned pointBits, int start, int quantity) {
    std::string data(static_cast<std::size_t>((quantity + 7) / 8), '\0');
    for (int i = 0; i < quantity; ++i)
        if ((pointBits >> (start + i)) & 1U)
            data[static_cast<std::size_t>(i / 8)] =
                static_cast<char>(data[static_cast<std::size_t>(i / 8)] | (1 << (i % 8)));
    return data;
}

std::string ReadBits(unsigned char function, std::string_view data, unsigned pointBits,
                     int points) {
    if (data.size() != 4) return Exception(function, kIllegalDataValue);
    const int start = Word(data, 0);
    const int quantity = Word(data, 2);
    if (quantity < 1 || quantity > 2000) return Exception(function, kIllegalDataValue);
    if (start + quantity > points) return Exception(function, kIllegalDataAddress);
    const std::string packed = PackBits(pointBits, start, quantity);
    return std::string{static_cast<char>(function), static_cast<char>(packed.size())} + packed;
}

std::string ReadHoldingRegisters(const ModuleState& module, std::string_view data) {
    constexpr unsigned char function = 0x03;
    if (data.size() != 4) return Exception(function, kIllegalDataValue);
    const int start = Word(data, 0);
    const int quantity = Word(data, 2);
    if (quantity < 1 || quantity > 125) return Exception(function, kIllegalDataValue);
    if (start + quantity > kHoldingRegisters) return Exception(function, kIllegalDataAddress);
    std::string reply{static_cast<char>(function), static_cast<char>(2 * quantity)};
    for (int r = start; r < start + quantity; ++r) {
        unsigned value = 0;
        if (r < 2 * ModuleState::kChannels) {
            const std::uint32_t counter = module.counter(r / 2 + 1);
            value = (r % 2 == 0) ? counter >> 16 : counter & 0xFFFF;
        }
        AppendWord(reply, value);
    }
    return reply;
}

std::string WriteSingleCoil(ModuleState& module, std::string_view pdu) {
    constexpr unsigned char function = 0x05;
    if (pdu.size() != 5) return Exception(function, kIllegalDataValue);
    const int address = Word(pdu, 1);
    const int value = Word(pdu, 3);
    if (value != 0xFF00 && value != 0x0000) return Exception(function, kIllegalDataValue);
    if (address >= kCoils) return Exception(function, kIllegalDataAddress);
    module.setOutput(address + 1, value == 0xFF00);
    // The response is an echo of the request.
    return std::string(pdu);
}

std::string WriteMultipleCoils(ModuleState& module, std::string_view pdu) {
    constexpr unsigned char function = 0x0F;
    if (pdu.size() < 6) return Exception(function, kIllegalDataValue);
    const int start = Word(pdu, 1);
    const int quantity = Word(pdu, 3);
    const auto byteCount = static_cast<unsigned char>(pdu[5]);
    if (quantity < 1 || quantity > 0x07B0 || byteCount != (quantity + 7) / 8 ||
        pdu.size() != 6U + byteCount)
        return Exception(function, kIllegalDataValue);
    if (start + quantity > kCoils) return Exception(function, kIllegalDataAddress);
    for (int i = 0; i < quantity; ++i) {
        const auto byte = static_cast<unsigned char>(pdu[6 + static_cast<std::size_t>(i / 8)]);
        module.setOutput(start + i + 1, (byte >> (i % 8)) & 1U);
    }
    return std::string(pdu.substr(0, 5));
}

bool IsWrite(unsigned char function) {
    return function == 0x05 || function == 0x0F;
}

RequestOutcome Dispatch(ModuleState& module, int station, std::string_view adu,
                        std::string (*wrap)(std::string_view), const ForcedExceptions& forced) {
    const auto address = static_cast<unsigned char>(adu[0]);
    const std::string_view pdu = adu.substr(1);
    if (address == 0) {
        // Broadcasts are writes only and are never answered.
        if (IsWrite(static_cast<unsigned char>(pdu[0]))) AnswerModbusPdu(module, pdu);
        return {Kind::Broadcast, {}, false};
    }
    if (address != station) return {Kind::OtherStation, {}, false};
    const auto function = static_cast<unsigned char>(pdu[0]);
    const auto refused = forced.find(function);
    const std::string reply =
        refused != forced.end()
            ? std::string{static_cast<char>(function | 0x80), static_cast<char>(refused->second)}
            : AnswerModbusPdu(module, pdu);
    const bool exception = (static_cast<unsigned char>(reply[0]) & 0x80) != 0;
    return {Kind::Answer, wrap(std::string(1, static_cast<char>(address)) + reply), exception};
}

std::string WrapAscii(std::string_view adu) {
    const std::string hex = BytesToHex(adu);
    return ":" + hex + LrcOfHex(hex) + "\r\n";
}

std::string WrapRtu(std::string_view adu) {
    return std::string(adu) + HexToBytes(CrcOfHex(BytesToHex(adu)));
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

}  // namespace

std::string AnswerModbusPdu(ModuleState& module, std::string_view pdu) {
    if (pdu.empty()) return Exception(0, kIllegalFunction);
    const auto function = static_cast<unsigned char>(pdu[0]);
    const std::string_view data = pdu.substr(1);
    switch (function) {
        case 0x01:
            return ReadBits(function, data, module.outputs(), kCoils);
        case 0x02:
            return ReadBits(function, data,
                            module.outputs() | (static_cast<unsigned>(module.inputs()) << 8),
                            kDiscreteInputs);
        case 0x03:
            return ReadHoldingRegisters(module, data);
        case 0x05:
            return WriteSingleCoil(module, pdu);
        case 0x0F:
            return WriteMultipleCoils(module, pdu);
        default:
            return Exception(function, kIllegalFunction);
    }
}

RequestOutcome AnswerModbusAscii(ModuleState& module, int station, std::string_view frame,
                                 const ForcedExceptions& forced) {
    if (frame.size() < 9 || frame.front() != ':' || frame.substr(frame.size() - 2) != "\r\n")
        return {Kind::Invalid, {}, false};
    const std::string_view hex = frame.substr(1, frame.size() - 3);
    const auto bytes = ParseHexBytes(hex);
    if (!bytes) return {Kind::Invalid, {}, false};
    const std::string_view body = hex.substr(0, hex.size() - 2);
    if (Upper(hex.substr(hex.size() - 2)) != LrcOfHex(body)) return {Kind::BadChecksum, {}, false};
    return Dispatch(module, station, std::string_view(*bytes).substr(0, bytes->size() - 1),
                    WrapAscii, forced);
}

RequestOutcome AnswerModbusRtu(ModuleState& module, int station, std::string_view frame,
                               const ForcedExceptions& forced) {
    if (frame.size() < 4) return {Kind::Invalid, {}, false};
    const std::string_view adu = frame.substr(0, frame.size() - 2);
    if (BytesToHex(frame.substr(frame.size() - 2)) != CrcOfHex(BytesToHex(adu)))
        return {Kind::BadChecksum, {}, false};
    return Dispatch(module, station, adu, WrapRtu, forced);
}

std::string ReaddressModbusAnswer(bool ascii, std::string_view answer, int station) {
    if (answer.size() < (ascii ? 9u : 4u)) return std::string(answer);
    std::string adu = ascii ? HexToBytes(answer.substr(1, answer.size() - 5))
                            : std::string(answer.substr(0, answer.size() - 2));
    adu[0] = static_cast<char>(station);
    return ascii ? WrapAscii(adu) : WrapRtu(adu);
}

}  // namespace tally::sim
