#include "protocol/frames.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "protocol/checksum.h"

namespace tally {

namespace {

// Two upper-case hex digits of 0-255.
std::string ByteHex(int value) {
    return BytesToHex(std::string(1, static_cast<char>(value & 0xFF)));
}

bool IsChannel(int n) {
    return n >= 1 && n <= 8;
}

// "WRTC" carries the LRC of its parameters alone (not of "#", the station or the word).
std::string WrtcCommand(const std::string& parameters) {
    return "WRTC" + parameters + LrcOfHex(parameters);
}

}  // namespace

std::string StationHexOf(int station) {
    // The line knows stations 0-31; anything else is pulled into that range.
    return ByteHex(std::clamp(station, 0, 31));
}

Bytes OwnFrame(std::string_view stationHex, std::string_view command) {
    Bytes frame = "#";
    frame.append(stationHex);
    frame.append(command);
    frame.push_back(CR);
    return frame;
}

Bytes ModbusAsciiFrame(std::string_view payload) {
    Bytes frame = ":";
    frame.append(payload);
    frame.append(LrcOfHex(payload));
    frame.push_back(CR);
    frame.push_back(LF);
    return frame;
}

Bytes ModbusRtuFrame(std::string_view payload) {
    std::string hex(payload);
    hex.append(CrcOfHex(payload));
    return HexToBytes(hex);
}

std::optional<int> FrameStation(Protocol protocol, std::string_view frame) {
    if (protocol == Protocol::ModbusRtu) {
        if (frame.empty()) return std::nullopt;
        return static_cast<unsigned char>(frame.front());
    }
    const char start = protocol == Protocol::Own ? '#' : ':';
    if (frame.size() < 3 || frame.front() != start) return std::nullopt;
    const std::string_view digits = frame.substr(1, 2);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
        return std::nullopt;
    return GroupValue(digits);
}

std::optional<Bytes> BuildFrame(Protocol protocol, std::string_view stationHex,
                                const Request& request) {
    switch (protocol) {
        case Protocol::Own:
            if (request.ownCommand.empty()) return std::nullopt;
            return OwnFrame(stationHex, request.ownCommand);
        case Protocol::ModbusAscii:
        case Protocol::ModbusRtu: {
            if (request.modbusBody.empty()) return std::nullopt;
            std::string payload(stationHex);
            payload.append(request.modbusBody);
            return protocol == Protocol::ModbusAscii ? ModbusAsciiFrame(payload)
                                                     : ModbusRtuFrame(payload);
        }
    }
    return std::nullopt;
}

// Function 03 from register 0000, 32 registers.
Request ReadCountersRequest() {
    return {"RCT", "0300000020"};
}
// Function 02 from input 0008, 8 inputs.
Request ReadInputsRequest() {
    return {"RDI", "0200080008"};
}
// Function 01 from coil 0000, 8 coils.
Request ReadOutputsRequest() {
    return {"RDO", "0100000008"};
}

Request ToggleOutputRequest(int n, int currentState) {
    if (!IsChannel(n)) return {};
    const bool isOn = currentState != 0;
    Request request;
    request.ownCommand = "WDO" + std::to_string(n) + "," + (isOn ? "0" : "1");
    // Write single coil n-1: FF00 switches it on, 0000 off.
    request.modbusBody = "05000" + std::to_string(n - 1) + (isOn ? "0000" : "FF00");
    return request;
}

Request AllOutputsRequest(bool on) {
    Request request;
    request.ownCommand = std::string("WDO12345678,") + (on ? "11111111" : "00000000");
    // Write multiple coils: from 0000, 8 coils, 1 data byte.
    request.modbusBody = std::string("0F0000000801") + (on ? "FF" : "00");
    return request;
}

Request ClearCounterRequest(int channel) {
    if (channel > 8) return {};
    Request request;
    request.ownCommand = "CCT";
    if (channel >= 1) request.ownCommand += std::to_string(channel);
    return request;
}

std::string PresetValueHex(double value) {
    // Eight hex digits hold 0 ... 4294967295; anything else is pulled into range.
    if (std::isnan(value) || value < 0) value = 0;
    if (value > 4294967295.0) value = 4294967295.0;
    const std::string hex = "00000000" + NumberToHex(std::floor(value));
    return hex.substr(hex.size() - 8);
}

Request PresetCounterRequest(int channel, double value) {
    if (channel > 8) return {};
    const std::string v = PresetValueHex(value);
    std::string data;
    if (channel < 1) {
        // All eight counters: 32 bytes from address 0A.
        data = "0A20";
        for (int k = 0; k < 8; ++k)
            data += v;
    } else {
        // Counter k is four bytes at address 4k+6.
        data = ByteHex(4 * channel + 6) + "04" + v;
    }
    return {WrtcCommand(data), {}};
}

Request ReadEnableRequest() {
    return {"RRTC0801", {}};
}

Request WriteEnableRequest(std::string_view flagDigits) {
    // The frame carries exactly one upper-case flag byte: the last two digits given.
    if (flagDigits.size() > 2) flagDigits = flagDigits.substr(flagDigits.size() - 2);
    return {WrtcCommand("0801" + ByteHex(GroupValue(flagDigits))), {}};
}

}  // namespace tally
