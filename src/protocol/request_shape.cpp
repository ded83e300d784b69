#include "protocol/request_shape.h"

#include <utility>

#include "protocol/hex.h"

namespace tally {

namespace {

unsigned ByteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

}  // namespace

std::string_view OwnCommandOf(std::string_view request) {
    if (request.size() < 4 || request.front() != '#' || request.back() != CR) return {};
    return request.substr(3, request.size() - 4);
}

std::optional<ModbusAsk> ModbusAskOf(Protocol protocol, std::string_view request) {
    std::string adu;
    if (protocol == Protocol::ModbusAscii) {
        // ":" payload LRC CR LF
        if (request.size() < 9 || request.front() != ':') return std::nullopt;
        adu = HexToBytes(request.substr(1, request.size() - 5));
    } else if (protocol == Protocol::ModbusRtu) {
        if (request.size() < 4) return std::nullopt;
        adu = std::string(request.substr(0, request.size() - 2));
    } else {
        return std::nullopt;
    }
    if (adu.size() < 6) return std::nullopt;
    ModbusAsk ask;
    ask.station = static_cast<int>(ByteAt(adu, 0));
    ask.function = static_cast<int>(ByteAt(adu, 1));
    const std::size_t quantity = ByteAt(adu, 4) << 8 | ByteAt(adu, 5);
    switch (ask.function) {
        case 0x01:  // coils and discrete inputs: eight to a byte
        case 0x02:
            ask.dataBytes = (quantity + 7) / 8;
            break;
        case 0x03:  // registers: two bytes each
        case 0x04:
            ask.dataBytes = 2 * quantity;
            break;
        case 0x05:
        case 0x0F:
            ask.write = true;
            break;
        default:
            return std::nullopt;
    }
    // A read asks for 1 to 250 data bytes, so its reply fits the 256 bytes of a frame.
    if (!ask.write && (ask.dataBytes < 1 || ask.dataBytes > 250)) return std::nullopt;
    ask.adu = std::move(adu);
    return ask;
}

}  // namespace tally
