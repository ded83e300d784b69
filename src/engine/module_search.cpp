#include "engine/module_search.h"

#include <algorithm>

#include "serial/serial_component.h"

namespace tally {

bool ProbeFound(const Outcome& outcome) {
    return outcome.kind == OutcomeKind::Success || outcome.kind == OutcomeKind::Exception;
}

ModuleSearch::ModuleSearch(ProbeLine& line, const Clock& clock) : line_(line), clock_(clock) {}

bool ModuleSearch::Start(const SearchChoices& choices) {
    if (running_) return false;
    std::vector<Probe> plan = SearchPlan(choices);
    if (plan.empty()) return false;
    plan_ = std::move(plan);
    waitFrom_.assign(plan_.size() + 1, 0);
    for (std::size_t i = plan_.size(); i-- > 0;)
        waitFrom_[i] = waitFrom_[i + 1] + plan_[i].waitMicros;
    index_ = 0;
    openBaud_ = 0;
    stopAtFirst_ = choices.stopAtFirst;
    running_ = true;
    stopWanted_ = false;
    awaiting_ = false;
    confirming_ = false;
    found_.clear();
    failure_.clear();
    startMicros_ = clock_.MonotonicMicros();
    endMicros_ = startMicros_;
    send();
    return true;
}

void ModuleSearch::Stop() {
    if (!running_) return;
    stopWanted_ = true;
    if (!awaiting_) {
        finish(std::string());
        return;
    }
    changed();
}

void ModuleSearch::LineFailed(const std::string& reason) {
    if (running_) finish(reason);
}

const Probe* ModuleSearch::Current() const {
    return running_ && index_ < plan_.size() ? &plan_[index_] : nullptr;
}

std::int64_t ModuleSearch::ElapsedMicros() const {
    return (running_ ? clock_.MonotonicMicros() : endMicros_) - startMicros_;
}

std::int64_t ModuleSearch::RemainingMicros() const {
    if (!running_ || index_ >= plan_.size()) return 0;
    const std::int64_t planned = waitFrom_[index_];
    const std::int64_t plannedDone = waitFrom_[0] - planned;
    if (plannedDone <= 0) return planned;
    // Reopening the port and the event loop add a little to every probe; a
    // module that answered early does not make the silent ones ahead shorter.
    const double pace =
        std::max(1.0, static_cast<double>(ElapsedMicros()) / static_cast<double>(plannedDone));
    return static_cast<std::int64_t>(static_cast<double>(planned) * pace);
}

void ModuleSearch::send() {
    const Probe& probe = plan_[index_];
    try {
        if (probe.baud != openBaud_) {
            openBaud_ = 0;
            line_.OpenAt(probe.baud);
            openBaud_ = probe.baud;
        }
        awaiting_ = true;
        changed();
        line_.SendProbe(probe);
    } catch (const SerialError& error) {
        awaiting_ = false;
        finish(error.what());
    }
}

void ModuleSearch::OnLineEvent(const LineEvent& event) {
    if (!running_ || !awaiting_ || event.type != LineEvent::Type::Outcome ||
        event.request != LineRequest::Probe) {
        return;
    }
    awaiting_ = false;
    const Probe& probe = plan_[index_];
    const bool found = ProbeFound(event.outcome);
    if (found && !confirming_ && !stopWanted_) {
        confirming_ = true;
        firstReply_ = event.bytes;
        firstReplyMs_ = event.replyMs;
        send();
        return;
    }
    if (found && confirming_ && event.bytes == firstReply_) {
        found_.push_back({probe.baud, probe.protocol, probe.station, firstReplyMs_});
        if (stopAtFirst_) stopWanted_ = true;
    }
    confirming_ = false;
    firstReply_.clear();
    ++index_;
    next();
}

void ModuleSearch::next() {
    if (stopWanted_ || index_ >= plan_.size()) {
        finish(std::string());
        return;
    }
    send();
}

void ModuleSearch::finish(const std::string& failure) {
    endMicros_ = clock_.MonotonicMicros();
    running_ = false;
    stopWanted_ = false;
    awaiting_ = false;
    confirming_ = false;
    failure_ = failure;
    openBaud_ = 0;
    line_.Close();
    changed();
}

void ModuleSearch::changed() {
    if (onChange) onChange();
}

}  // namespace tally
