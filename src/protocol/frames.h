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

// Station 0-31 as two upper-case hex digits ("00" ... "1F").
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

// Reads of the poll cycle.
Request ReadCountersRequest();
Request ReadInputsRequest();
Request ReadOutputsRequest();

// Outputs: toggle output n (1-8) from its current state (0/1); all on / all off.
Request ToggleOutputRequest(int n, int currentState);
Request AllOutputsRequest(bool on);

// Counters: channel 1-8, or 0 for all. The preset value is whole, 0 ... 4294967295.
Request ClearCounterRequest(int channel);
Request PresetCounterRequest(int channel, double value);

// Counter-enable flags: one byte at address 08; flagDigits are two hex digits.
Request ReadEnableRequest();
Request WriteEnableRequest(std::string_view flagDigits);

}  // namespace tally
