#include "sim/own_protocol.h"

#include <cstdio>

#include "protocol/checksum.h"
#include "sim/strict_hex.h"

namespace tally::sim {

namespace {

using Kind = RequestOutcome::Kind;

RequestOutcome Answer(std::string reply) {
    return {Kind::Answer, std::move(reply) + '\r', false};
}
RequestOutcome Invalid() {
    return {Kind::Invalid, {}, false};
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

std::string ReadCounters(const ModuleState& module) {
    std::string reply = ">";
    for (int k = 1; k <= ModuleState::kChannels; ++k) {
        char field[9];
        std::snprintf(field, sizeof field, "%08X", static_cast<unsigned>(module.counter(k)));
        if (k > 1) reply += ',';
        reply += field;
    }
    return reply;
}

// "WDO" n1..nm "," s1..sm: outputs by number, then their new states in the same order.
RequestOutcome WriteOutputs(ModuleState& module, std::string_view args) {
    const auto comma = args.find(',');
    if (comma == std::string_view::npos) return Invalid();
    const auto numbers = args.substr(0, comma);
    const auto states = args.substr(comma + 1);
    if (numbers.empty() || numbers.size() != states.size() || numbers.size() > 8) return Invalid();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] < '1' || numbers[i] > '8') return Invalid();
        if (states[i] != '0' && states[i] != '1') return Invalid();
    }
    // Checked in full first so a malformed request changes nothing.
    for (std::size_t i = 0; i < numbers.size(); ++i)
        module.setOutput(numbers[i] - '0', states[i] == '1');
    return Answer("DO>OK");
}

RequestOutcome ClearCounters(ModuleState& module, std::string_view args) {
    if (args.empty()) {
        module.clearAllCounters();
        return Answer("CCT>OK");
    }
    if (args.size() != 1 || args[0] < '1' || args[0] > '8') return Invalid();
    module.clearCounter(args[0] - '0');
    return Answer("CCT>OK");
}

RequestOutcome ReadMemory(const ModuleState& module, std::string_view args) {
    if (args.size() != 4) return Invalid();
    const auto address = ParseHexNumber(args.substr(0, 2));
    const auto count = ParseHexNumber(args.substr(2, 2));
    std::string bytes;
    if (!address || !count ||
        !module.readMemory(static_cast<int>(*address), static_cast<int>(*count), bytes))
        return Invalid();
    std::string reply = "RTC>";
    for (unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(byte));
        reply += digits;
    }
    return Answer(reply);
}

// "WRTC" aa cc data lrc, the LRC covering aa cc data.
RequestOutcome WriteMemory(ModuleState& module, std::string_view args) {
    if (args.size() < 8 || args.size() % 2 != 0) return Invalid();
    const auto params = args.substr(0, args.size() - 2);
    const auto parsed = ParseHexBytes(params);
    if (!parsed || !ParseHexBytes(args.substr(args.size() - 2))) return Invalid();
    if (Upper(args.substr(args.size() - 2)) != LrcOfHex(params))
        return {Kind::BadChecksum, {}, false};
    const int address = static_cast<unsigned char>((*parsed)[0]);
    const int count = static_cast<unsigned char>((*parsed)[1]);
    const std::string data = parsed->substr(2);
    if (static_cast<int>(data.size()) != count) return Invalid();
    if (!module.writeMemory(address, data)) return Invalid();
    return Answer("RTC>OK");
}

}  // namespace

RequestOutcome AnswerOwnRequest(ModuleState& module, int station, std::string_view frame) {
    if (frame.size() < 4 || frame.front() != '#' || frame.back() != '\r') return Invalid();
    const auto target = ParseHexNumber(frame.substr(1, 2));
    if (!target) return Invalid();
    if (static_cast<int>(*target) != station) return {Kind::OtherStation, {}, false};
    const auto command = frame.substr(3, frame.size() - 4);

    if (command == "RCT") return Answer(ReadCounters(module));
    // Characters 1-8 are the outputs read back, 9-16 the inputs: the module
    // numbers its I/O points outputs first.
    if (command == "RDI")
        return Answer(">" + ChannelBits(module.outputs()) + ChannelBits(module.inputs()));
    if (command == "RDO") return Answer(">" + ChannelBits(module.outputs()));
    if (StartsWith(command, "WDO")) return WriteOutputs(module, command.substr(3));
    if (StartsWith(command, "CCT")) return ClearCounters(module, command.substr(3));
    if (StartsWith(command, "RRTC")) return ReadMemory(module, command.substr(4));
    if (StartsWith(command, "WRTC")) return WriteMemory(module, command.substr(4));
    return Invalid();
}

}  // namespace tally::sim
