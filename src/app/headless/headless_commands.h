// The commands a headless run takes from the broker, carried out on the line.
//
// Each goes into the engine's one-slot queue exactly as a click of the window
// does, so it is sent between two exchanges and before the next read; one at a
// time, in the order received, so each station's commands keep their order.
// An output write is followed by a read of that station's outputs, and the
// enable flags are read before the one flag is changed, as the window's dialog
// does. Each command ends in one answer: the outcome the status line shows.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "engine/line_event.h"
#include "engine/main_state.h"
#include "engine/poll_engine.h"
#include "publish/command_gate.h"

namespace tally {

class HeadlessCommands : public LineListener {
  public:
    // `state` and `engine` are the run's; add this to the engine's events.
    HeadlessCommands(MainState& state, PollEngine& engine);

    // At most this many wait behind the one in hand: a flood is answered at once
    // rather than carried out minutes late.
    static constexpr std::size_t kMostWaiting = 32;

    // Behind the commands not yet done; answered "too many waiting" beyond kMostWaiting.
    void Take(ReceivedCommand command);
    // The run ends: every command not yet on the line is answered with `why`
    // and none is taken any more; one on the line still gets its outcome.
    void Abandon(const std::string& why);

    // A command has ended: its outcome ("Write OK", "Time Out", ...) or why it never went.
    std::function<void(const ReceivedCommand& command, const std::string& outcome)> onDone;

    void OnLineEvent(const LineEvent& event) override;

  private:
    void next();
    void done(const std::string& outcome);
    void queue(std::int16_t kind, const std::optional<std::string>& frame);

    MainState& state_;
    PollEngine& engine_;
    std::deque<ReceivedCommand> waiting_;
    // In the slot or on the line.
    std::optional<ReceivedCommand> current_;
    // The current command changes one enable flag and is reading them all first.
    bool readingFlags_ = false;
    std::string abandoned_;  // set once the run ends
};

}  // namespace tally
