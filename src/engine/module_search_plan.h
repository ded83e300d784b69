// What the module search tries, in which order, and how long each try waits.
//
// Pure: the dialog reads the choices from its controls, this turns them into
// the list of probes, and the search walks that list one probe at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/baud_rates.h"
#include "protocol/hex.h"
#include "protocol/protocol.h"

namespace tally {

// After the main window's own rate: the factory rate, the other common one,
// then the rest from fast to slow, so the cheap tries come first.
inline constexpr std::array<int, 8> kSearchRateOrder = {19200, 9600, 57600, 28800,
                                                        14400, 4800, 2400,  1200};

inline constexpr int kSearchWaitDefaultMs = 50;
inline constexpr int kSearchWaitLowMs = 20;
inline constexpr int kSearchWaitHighMs = 1000;

struct SearchChoices {
    // By index of kBaudRates.
    std::array<bool, 8> rates{true, true, true, true, true, true, true, true};
    // By ProtocolIndex.
    std::array<bool, 3> protocols{true, true, true};
    int fromStation = 0;
    int toStation = 31;
    // Waited beyond the wire time of request and reply, for the module to turn round.
    int extraWaitMs = kSearchWaitDefaultMs;
    bool stopAtFirst = true;
    // The main window's settings, tried first.
    int currentBaud = 19200;
    Protocol currentProtocol = Protocol::Own;
};

// One try: a read of the outputs, the harmless request every module answers.
struct Probe {
    int baud = 0;
    Protocol protocol = Protocol::Own;
    int station = 0;
    Bytes frame;
    // From the write to giving up: wire time of the request and of its reply, plus the extra wait.
    std::int64_t waitMicros = 0;
};

// Rates outermost (a rate change reopens the port), then protocols (the window's
// own first, then in option order, so each block sends one kind of frame), then
// stations upwards. Only ticked rates and protocols; Modbus skips station 0, its
// broadcast address, which no module answers. Stations and the wait are kept to
// their ranges; a range given backwards is searched the right way round.
std::vector<Probe> SearchPlan(const SearchChoices& choices);

// Why SearchPlan(choices) has nothing to try, in words for the operator; "" when
// it has something.
std::string NothingToSearchReason(const SearchChoices& choices);

// The probe frame: exactly the program's own output read.
Bytes ProbeFrame(Protocol protocol, int station);
// The wire time of the frame and of the longest reply it can get (ten bits a
// character), plus the extra wait.
std::int64_t ProbeWaitMicros(const Bytes& frame, Protocol protocol, int baud, int extraWaitMs);

// "9600 baud, Modbus RTU, station 7"
std::string ProbeDescription(int baud, Protocol protocol, int station);

}  // namespace tally
