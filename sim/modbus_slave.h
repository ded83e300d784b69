// Modbus ASCII and RTU, device side: functions 01, 02, 03, 05 and 0F over the
// module's I/O and counters, with the standard's exception replies.
//
// Data model: coils 0-7 are outputs 1-8; discrete inputs 0-7 read the outputs
// back and 8-15 are inputs 1-8; holding registers 0-31 hold counter k as a
// 32-bit value, high word first, in registers 2(k-1) and 2(k-1)+1, the rest 0.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "sim/module_state.h"
#include "sim/request_outcome.h"

namespace tally::sim {

enum ModbusException : unsigned char {
    kIllegalFunction = 0x01,
    kIllegalDataAddress = 0x02,
    kIllegalDataValue = 0x03,
};

// pdu: function code and data. Returns the reply PDU (an exception reply has the
// function code with bit 7 set and the exception code).
std::string AnswerModbusPdu(ModuleState& module, std::string_view pdu);

// Functions answered with a fixed exception code instead of being carried out.
using ForcedExceptions = std::map<int, int>;

// frame: ":" hex LRC CR LF, as received.
RequestOutcome AnswerModbusAscii(ModuleState& module, int station, std::string_view frame,
                                 const ForcedExceptions& forced = {});
// frame: address, PDU, CRC low byte first, as received.
RequestOutcome AnswerModbusRtu(ModuleState& module, int station, std::string_view frame,
                               const ForcedExceptions& forced = {});

// The same answer sent as station `station`, its LRC or CRC made right again.
std::string ReaddressModbusAnswer(bool ascii, std::string_view answer, int station);

}  // namespace tally::sim
