#include "ui/models/read_confirmation.h"

#include <utility>

namespace tally {

ReadConfirmation::ReadConfirmation(std::function<bool(ReadKind)> cycleReads)
    : cycleReads_(std::move(cycleReads)) {}

bool ReadConfirmation::Confirmed(ReadKind kind, std::size_t index) const {
    return index < 8 && confirmed_[static_cast<std::size_t>(kind)][index];
}

void ReadConfirmation::Set(ReadKind kind, std::size_t index, bool confirmed) {
    if (index >= 8) return;
    bool& slot = confirmed_[static_cast<std::size_t>(kind)][index];
    const bool any = slot != confirmed;
    slot = confirmed;
    changed(any);
}

void ReadConfirmation::SetAll(ReadKind kind, bool confirmed) {
    bool any = false;
    for (bool& slot : confirmed_[static_cast<std::size_t>(kind)]) {
        any = any || slot != confirmed;
        slot = confirmed;
    }
    changed(any);
}

void ReadConfirmation::ForgetAll() {
    bool any = false;
    for (auto& kind : confirmed_) {
        for (bool& slot : kind) {
            any = any || slot;
            slot = false;
        }
    }
    changed(any);
}

void ReadConfirmation::forgetFrom(ReadKind failed) {
    bool any = false;
    for (const ReadKind kind : {ReadKind::Counters, ReadKind::Inputs, ReadKind::Outputs}) {
        if (kind < failed) continue;
        if (kind != failed && !(cycleReads_ && cycleReads_(kind))) continue;
        for (bool& slot : confirmed_[static_cast<std::size_t>(kind)]) {
            any = any || slot;
            slot = false;
        }
    }
    changed(any);
}

void ReadConfirmation::changed(bool any) {
    if (any && onChanged) onChanged();
}

void ReadConfirmation::OnLineEvent(const LineEvent& event) {
    switch (event.type) {
        case LineEvent::Type::Opened:
        case LineEvent::Type::Closed:
            ForgetAll();
            return;
        case LineEvent::Type::Outcome:
            break;
        default:
            return;
    }
    if (OutcomeApplies(event.outcome)) return;
    switch (event.request) {
        case LineRequest::ReadCounters:
            forgetFrom(ReadKind::Counters);
            break;
        case LineRequest::ReadInputs:
            forgetFrom(ReadKind::Inputs);
            break;
        case LineRequest::ReadOutputs:
            forgetFrom(ReadKind::Outputs);
            break;
        // A command that got no good answer may or may not have been carried out.
        case LineRequest::ClearCounters:
        case LineRequest::PresetCounters:
            SetAll(ReadKind::Counters, false);
            break;
        case LineRequest::WriteOutputs:
            SetAll(ReadKind::Outputs, false);
            break;
        default:
            break;
    }
}

}  // namespace tally
