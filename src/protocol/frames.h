// Request frames: the three envelopes and every request the program sends.
//
// A request is described once, by what it says in each protocol; BuildFrame puts
// it into the envelope of the selected protocol, so no caller assembles an
// envelope by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/hex.h"
#include "protocol/protocol.h"

namespace tally {

struct Request {
    // Own protocol: command word with its parameters ("RCT", "WDO3,0", ...).
    std::string ownCommand;
    // Modbus: function code and data as hex text, without station and checksum
    // ("0300000020"). Empty when the request has no Modbus form.
    std::string modbusBody;
};

// Station 0-31 as two upper-case hex digits ("00" ... "1F"); out-of-range is clamped.
std::string StationHexOf(int station);

// "#" S K CR
Bytes OwnFrame(std::string_view stationHex, std::string_view command);
// ":" P LRC(P) CR LF
Bytes ModbusAsciiFrame(std::string_view payload);
// bytes of P followed by the CRC, low byte first
Bytes ModbusRtuFrame(std::string_view payload);

// The frame of a request for a protocol and station; nullopt when the request
// has no form in that protocol (clear, preset and the enable flags are own-only).
std::optional<Bytes> BuildFrame(Protocol protocol, std::string_view stationHex,
                                const Request& request);

// The station a frame of that protocol is addressed to; nullopt when the frame is
// too short or does not begin as that protocol's frames do.
std::optional<int> FrameStation(Protocol protocol, std::string_view frame);

// Reads of the poll cycle.
Request ReadCountersRequest();
Request ReadInputsRequest();
Request ReadOutputsRequest();

// Outputs: toggle output n (1-8) from its current state (0 off, anything else on);
// all on / all off. An output outside 1-8 has no frame (empty request).
Request ToggleOutputRequest(int n, int currentState);
Request AllOutputsRequest(bool on);

// Counters: channel 1-8, or 0 (any value below 1) for all; above 8 has no frame.
// The preset value is whole, 0 ... 4294967295.
Request ClearCounterRequest(int channel);
Request PresetCounterRequest(int channel, double value);
// The preset value as the eight hex digits V of the frame; NaN and negatives
// become 0, values above 4294967295 become 4294967295, fractions are dropped.
std::string PresetValueHex(double value);

// Counter-enable flags: one byte at address 08. flagDigits are hex digits of the
// flag byte; only the last two count, so the three digits BitsToHex gives for a
// HexToBits array still write the right byte.
Request ReadEnableRequest();
Request WriteEnableRequest(std::string_view flagDigits);

}  // namespace tally
