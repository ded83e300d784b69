#include "publish/command_gate.h"

#include <algorithm>
#include <utility>

#include "publish/state_message.h"

namespace tally {
namespace {

constexpr std::int64_t kSecondMicros = 1'000'000;

std::vector<std::string> levels(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash - start));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

// "0" to "31" as the state topics write them: no sign, no leading zero.
std::optional<int> stationNumber(const std::string& text) {
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[0] == '0')) return {};
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    return std::stoi(text);
}

// Output or counter "1" to "8".
std::optional<int> channelNumber(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '8') return {};
    return text[0] - '0';
}

// A whole number 0-4294967295, digits only.
std::optional<std::uint32_t> presetValue(const std::string& text) {
    if (text.empty() || text.size() > 10) return {};
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return {};
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFF'FFFFULL) return {};
    return static_cast<std::uint32_t>(value);
}

// The command a topic names, its payload not yet read; nullopt for no command topic.
std::optional<Command> commandOf(const std::vector<std::string>& l, std::string& why) {
    Command c;
    const std::size_t n = l.size();
    if (n == 2 && l[0] == "do" && l[1] == "set") return c;
    if (n == 2 && l[0] == "counter" && l[1] == "clear") {
        c.action = CommandAction::Clear;
        return c;
    }
    if (n != 3 || (l[0] != "do" && l[0] != "counter")) return std::nullopt;
    const std::optional<CommandAction> action =
        l[0] == "do" ? (l[2] == "set" ? std::optional(CommandAction::Do) : std::nullopt)
                     : (l[2] == "do" ? std::nullopt : CommandActionNamed(l[2]));
    if (!action) return std::nullopt;
    c.action = *action;
    const std::optional<int> channel = channelNumber(l[1]);
    if (!channel) {
        why = l[0] == "do" ? "outputs go from 1 to 8" : "counters go from 1 to 8";
        return std::nullopt;
    }
    c.channel = *channel;
    return c;
}

// Reads the payload into `c`; false when it is none that `c` takes.
bool takePayload(Command& c, const std::string& payload, std::string& why) {
    switch (c.action) {
        case CommandAction::Do:
            if (c.channel == 0) {
                c.on = payload == "ALL_ON";
                why = "the payload must be ALL_ON or ALL_OFF";
                return c.on || payload == "ALL_OFF";
            }
            [[fallthrough]];
        case CommandAction::Enable:
            c.on = payload == "ON";
            why = "the payload must be ON or OFF";
            return c.on || payload == "OFF";
        case CommandAction::Clear:
            why = "the payload must be PRESS";
            return payload == "PRESS";
        case CommandAction::Preset:
            break;
    }
    const std::optional<std::uint32_t> value = presetValue(payload);
    why = "the payload must be a whole number from 0 to 4294967295";
    if (value) c.value = *value;
    return value.has_value();
}

}  // namespace

CommandGate::CommandGate(std::string prefix, std::vector<int> stations, AllowList allow)
    : prefix_(std::move(prefix)), stations_(std::move(stations)), allow_(std::move(allow)) {}

std::vector<std::string> CommandGate::Filters() const {
    return {prefix_ + "/+/do/#", prefix_ + "/+/counter/#"};
}

CommandVerdict CommandGate::Judge(const std::string& topic, const std::string& payload, bool retain,
                                  std::int64_t now) {
    CommandVerdict verdict;
    const auto refuse = [&verdict](std::string why) {
        verdict.refusal = std::move(why);
        return verdict;
    };
    const std::string under = prefix_ + "/";
    if (topic.compare(0, under.size(), under) != 0) return refuse("not a command topic");
    std::vector<std::string> l = levels(topic.substr(under.size()));
    const std::string station = l.front();
    verdict.resultTopic = under + station + "/result";
    l.erase(l.begin());

    if (payload.size() > kPayloadLimit) return refuse("the payload is longer than 64 bytes");
    const std::optional<int> number = stationNumber(station);
    if (!number || std::find(stations_.begin(), stations_.end(), *number) == stations_.end())
        return refuse("station " + station + " is not polled");
    std::string why = "not a command topic";
    std::optional<Command> c = commandOf(l, why);
    if (!c) return refuse(why);
    c->station = *number;
    if (retain) return refuse("retained: a command left on the broker is never carried out");
    if (!Allowed(allow_, c->station, c->action))
        return refuse(std::string(CommandActionName(c->action)) + " is not allowed for station " +
                      station);
    if (!takePayload(*c, payload, why)) return refuse(why);

    const auto before = beforeReconnect_.find(topic);
    if (before != beforeReconnect_.end() && before->second.payload == payload &&
        now - connectedMicros_ < kDuplicateMicros)
        return refuse("a duplicate of the command carried out before the reconnect");
    std::deque<std::int64_t>& taken = taken_[c->station];
    while (!taken.empty() && now - taken.front() >= kSecondMicros)
        taken.pop_front();
    if (taken.size() >= kPerSecond) return refuse("too many");
    taken.push_back(now);
    executed_[topic] = {payload, now};
    verdict.command = c;
    return verdict;
}

void CommandGate::ConnectionLost(std::int64_t now) {
    if (!lostMicros_) lostMicros_ = now;
}

void CommandGate::Connected(std::int64_t now) {
    // What was carried out shortly before the connection went may come again.
    beforeReconnect_.clear();
    const std::int64_t lost = lostMicros_.value_or(now);
    for (const auto& [topic, done] : executed_) {
        if (lost - done.monoMicros < kDuplicateMicros) beforeReconnect_[topic] = done;
    }
    executed_.clear();
    lostMicros_.reset();
    connectedMicros_ = now;
}

std::string ShownPayload(const std::string& payload) {
    std::string shown = payload.substr(0, CommandGate::kPayloadLimit);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return shown;
}

std::string CommandResult(const std::string& time, const std::string& topic,
                          const std::string& payload, const std::string& outcome) {
    // A topic comes from the broker as valid UTF-8; a payload may be anything.
    return "{\"time\":" + JsonString(time) + ",\"topic\":" + JsonString(topic) +
           ",\"payload\":" + JsonString(ShownPayload(payload)) +
           ",\"outcome\":" + JsonString(outcome) + "}";
}

}  // namespace tally
