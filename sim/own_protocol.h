// The module's own ASCII protocol, device side.
//
// Requests are "#" + two-hex-digit station + command + CR; replies use exactly
// the layouts the program decodes. Requests the module does not understand, for
// another station, or with a wrong LRC get no answer, as on the real line.
#pragma once

#include <string_view>

#include "sim/module_state.h"
#include "sim/request_outcome.h"

namespace tally::sim {

// frame: the whole request, "#" and CR included.
RequestOutcome AnswerOwnRequest(ModuleState& module, int station, std::string_view frame);

}  // namespace tally::sim
