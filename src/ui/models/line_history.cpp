#include "ui/models/line_history.h"

namespace tally {

LineHistory::LineHistory(std::size_t capacity, QObject* parent)
    : QObject(parent), model_(capacity) {
    // A poll cycle's rows are committed as it ends; any other row (a command, a
    // probe) within the monitor's refresh time. A commit after each exchange
    // would post an event, and with the monitor open lay its table out, for each.
    model_.SetCommitDelay(kCommitDelayMs);
}

void LineHistory::OnLineEvent(const LineEvent& event) {
    stats_.Add(event);
    model_.Append(event);
    emit statisticsChanged();
    // A poll cycle's rows reach the view as one batch, as the cycle ends (the
    // monitor shows its statistics with them).
    if (event.type == LineEvent::Type::CycleEnd) model_.Commit();
}

void LineHistory::ResetStatistics() {
    stats_.Reset();
    emit statisticsChanged();
}

}  // namespace tally
