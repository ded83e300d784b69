#include "ui/line_history.h"

namespace tally {

LineHistory::LineHistory(std::size_t capacity, QObject* parent)
    : QObject(parent), model_(capacity) {}

void LineHistory::OnLineEvent(const LineEvent& event) {
    stats_.Add(event);
    model_.Append(event);
    // A poll cycle's rows reach the view as one batch, as the cycle ends.
    if (event.type == LineEvent::Type::CycleEnd) model_.Commit();
    emit statisticsChanged();
}

void LineHistory::ResetStatistics() {
    stats_.Reset();
    emit statisticsChanged();
}

}  // namespace tally
