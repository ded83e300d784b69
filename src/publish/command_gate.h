// Commands received from the broker, judged before anything reaches the line.
//
// Topics, under the run's prefix:
//   <prefix>/<station>/do/<n>/set          ON | OFF
//   <prefix>/<station>/do/set              ALL_ON | ALL_OFF
//   <prefix>/<station>/counter/<n>/clear   PRESS
//   <prefix>/<station>/counter/clear       PRESS
//   <prefix>/<station>/counter/<n>/preset  a whole number 0-4294967295
//   <prefix>/<station>/counter/<n>/enable  ON | OFF
// A message becomes a command only when every rule lets it: a polled station,
// an action the run allows for it, a payload of at most 64 bytes that is one of
// the above, not retained (left on the broker, it would act again at every
// connect), not the same topic and payload again just after a reconnect, and at
// most 10 commands a second for the station. Otherwise the verdict says why.
// Qt-free; time comes in as a monotonic clock's microseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "publish/command_allow.h"

namespace tally {

struct Command {
    int station = 0;
    CommandAction action = CommandAction::Do;
    int channel = 0;          // output or counter 1-8; 0: all of them
    bool on = false;          // do and enable
    std::uint32_t value = 0;  // preset
};

// A command taken, with what it came as: for its answer and the journal.
struct ReceivedCommand {
    Command command;
    std::string topic;
    std::string payload;
    std::string resultTopic;
};

struct CommandVerdict {
    std::optional<Command> command;  // set when it is to be carried out
    std::string refusal;             // why not, otherwise
    // <prefix>/<station>/result, with the station as the topic names it.
    std::string resultTopic;
};

class CommandGate {
  public:
    static constexpr std::size_t kPayloadLimit = 64;
    static constexpr std::size_t kPerSecond = 10;
    // A repeat of a command carried out on the last connection, this soon after
    // the next one began, is a redelivery, not a new command.
    static constexpr std::int64_t kDuplicateMicros = 2'000'000;

    CommandGate(std::string prefix, std::vector<int> stations, AllowList allow);

    // What to subscribe to: every command topic, also those refused, so that
    // each refusal is answered.
    std::vector<std::string> Filters() const;

    CommandVerdict Judge(const std::string& topic, const std::string& payload, bool retain,
                         std::int64_t monoMicros);

    void ConnectionLost(std::int64_t monoMicros);
    void Connected(std::int64_t monoMicros);

  private:
    struct Executed {
        std::string payload;
        std::int64_t monoMicros = 0;
    };

    std::string prefix_;
    std::vector<int> stations_;
    AllowList allow_;
    // By topic: the last command carried out, and those of the connection before
    // this one that could still come again.
    std::map<std::string, Executed> executed_;
    std::map<std::string, Executed> beforeReconnect_;
    std::int64_t connectedMicros_ = 0;
    std::optional<std::int64_t> lostMicros_;
    // By station: when its commands of the last second were taken.
    std::map<int, std::deque<std::int64_t>> taken_;
};

// A payload as answers and the journal show it: cut to the limit, anything
// outside ASCII as "?", so that no message received breaks what quotes it.
std::string ShownPayload(const std::string& payload);

// The answer published on the result topic:
// {"time":"...","topic":"...","payload":"...","outcome":"Write OK"}
std::string CommandResult(const std::string& time, const std::string& topic,
                          const std::string& payload, const std::string& outcome);

}  // namespace tally
