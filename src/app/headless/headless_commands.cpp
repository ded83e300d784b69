#include "app/headless/headless_commands.h"

#include <utility>

#include "protocol/frames.h"
#include "protocol/hex.h"

namespace tally {
namespace {

// The engine's command kinds (PendingCommand).
constexpr std::int16_t kClear = 1;
constexpr std::int16_t kPreset = 2;
constexpr std::int16_t kOutputs = 3;
constexpr std::int16_t kReadFlags = 4;
constexpr std::int16_t kWriteFlags = 5;

bool isCommand(LineRequest request) {
    switch (request) {
        case LineRequest::ClearCounters:
        case LineRequest::PresetCounters:
        case LineRequest::WriteOutputs:
        case LineRequest::ReadEnable:
        case LineRequest::WriteEnable:
            return true;
        case LineRequest::ReadCounters:
        case LineRequest::ReadInputs:
        case LineRequest::ReadOutputs:
        case LineRequest::Probe:
            break;
    }
    return false;
}

}  // namespace

HeadlessCommands::HeadlessCommands(MainState& state, PollEngine& engine)
    : state_(state), engine_(engine) {}

void HeadlessCommands::Take(ReceivedCommand command) {
    if (!abandoned_.empty()) {
        if (onDone) onDone(command, abandoned_);
        return;
    }
    if (waiting_.size() >= kMostWaiting) {
        if (onDone) onDone(command, "not carried out: too many commands waiting");
        return;
    }
    waiting_.push_back(std::move(command));
    next();
}

void HeadlessCommands::Abandon(const std::string& why) {
    abandoned_ = why;
    // Still in the slot: it never goes.
    if (current_ && state_.PendingCommand != 0) {
        state_.PendingCommand = 0;
        done(why);
    }
    while (!waiting_.empty()) {
        const ReceivedCommand command = std::move(waiting_.front());
        waiting_.pop_front();
        if (onDone) onDone(command, why);
    }
}

void HeadlessCommands::next() {
    if (current_ || waiting_.empty() || !abandoned_.empty()) return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    const Command& c = current_->command;
    const Protocol protocol = ProtocolFromIndex(state_.ProtocolIndex);
    const std::string station = StationHexOf(c.station);
    switch (c.action) {
        case CommandAction::Do:
            // The target names the output for the status line, as a click does.
            state_.OutputState[0] = static_cast<std::int16_t>(c.channel > 0 ? c.channel
                                                              : c.on        ? 255
                                                                            : 0);
            // A toggle from the opposite of the wanted state writes the wanted state.
            return queue(kOutputs, BuildFrame(protocol, station,
                                              c.channel > 0 ? ToggleOutputRequest(c.channel, !c.on)
                                                            : AllOutputsRequest(c.on)));
        case CommandAction::Clear:
            return queue(kClear, BuildFrame(protocol, station, ClearCounterRequest(c.channel)));
        case CommandAction::Preset:
            return queue(kPreset,
                         BuildFrame(protocol, station, PresetCounterRequest(c.channel, c.value)));
        case CommandAction::Enable:
            // The flags are written all eight at once: the others as the module has them.
            readingFlags_ = true;
            return queue(kReadFlags, BuildFrame(protocol, station, ReadEnableRequest()));
    }
}

void HeadlessCommands::queue(std::int16_t kind, const std::optional<std::string>& frame) {
    if (!frame) {
        // The options refuse these at start; a protocol without the frame sends nothing.
        readingFlags_ = false;
        done("works with the Korvi protocol only");
        return;
    }
    state_.PendingFrame = *frame;
    state_.PendingCommand = kind;
    // Sent now when the line is free, otherwise after the exchange on it.
    engine_.Dispatch();
}

void HeadlessCommands::OnLineEvent(const LineEvent& event) {
    if (event.type != LineEvent::Type::Outcome || !current_ || !isCommand(event.request)) return;
    const Command& c = current_->command;
    const bool good = OutcomeApplies(event.outcome);
    if (readingFlags_) {
        readingFlags_ = false;
        if (good && event.meaning && event.meaning->kind == ReplyMeaning::Kind::EnableStatus) {
            BitArray flags(8);
            for (std::size_t k = 0; k < 8; ++k)
                flags[k] = event.meaning->enableFlags[k] == 1 ? 1 : 0;
            flags[static_cast<std::size_t>(c.channel - 1)] = c.on ? 1 : 0;
            if (!abandoned_.empty()) return done(abandoned_);
            // Taken from the slot once this read is handled.
            state_.PendingFrame = BuildFrame(Protocol::Own, StationHexOf(c.station),
                                             WriteEnableRequest(BitsToHex(flags)))
                                      .value_or(std::string());
            state_.PendingCommand = kWriteFlags;
            return;
        }
    }
    if (good && event.request == LineRequest::WriteOutputs) engine_.ReadOutputsBack(c.station);
    done(event.statusText);
}

void HeadlessCommands::done(const std::string& outcome) {
    const ReceivedCommand command = std::move(*current_);
    current_.reset();
    if (onDone) onDone(command, outcome);
    next();
}

}  // namespace tally
