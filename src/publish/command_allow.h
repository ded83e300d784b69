// What a run lets the broker ask of a station: --allow STATIONS:ACTIONS, kept
// as the actions allowed for each station. Nothing received is acted on unless
// it is listed here. Qt-free and header-only: the options read it too.
#pragma once

#include <map>
#include <optional>
#include <string_view>

namespace tally {

enum class CommandAction : unsigned {
    Do = 1,      // switch outputs
    Clear = 2,   // clear counters
    Preset = 4,  // set a counter's value
    Enable = 8,  // the per-counter enable flags
};

// Station -> the CommandAction bits allowed for it; a station not in it has none.
using AllowList = std::map<int, unsigned>;

inline constexpr CommandAction kCommandActions[] = {CommandAction::Do, CommandAction::Clear,
                                                    CommandAction::Preset, CommandAction::Enable};

inline const char* CommandActionName(CommandAction action) {
    switch (action) {
        case CommandAction::Do:
            return "do";
        case CommandAction::Clear:
            return "clear";
        case CommandAction::Preset:
            return "preset";
        case CommandAction::Enable:
            break;
    }
    return "enable";
}

inline std::optional<CommandAction> CommandActionNamed(std::string_view name) {
    for (const CommandAction action : kCommandActions) {
        if (name == CommandActionName(action)) return action;
    }
    return std::nullopt;
}

inline bool Allowed(const AllowList& allow, int station, CommandAction action) {
    const auto found = allow.find(station);
    return found != allow.end() && (found->second & static_cast<unsigned>(action)) != 0;
}

// Whether any station is allowed `action`.
inline bool AllowedAnywhere(const AllowList& allow, CommandAction action) {
    for (const auto& entry : allow) {
        if ((entry.second & static_cast<unsigned>(action)) != 0) return true;
    }
    return false;
}

}  // namespace tally
