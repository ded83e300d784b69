#include "ui/line_history.h"

namespace tally {

LineHistory::LineHistory(std::size_t capacity, QObject* parent)
    : QObject(parent), model_(capacity) {}

void LineHistory::OnLineEvent(const LineEvent& event) {
    stats_.Add(event);
    model_.Append(event);
    emit statisticsChanged();
}

void LineHistory::ResetStatistics() {
    stats_.Reset();
    emit statisticsChanged();
}

}  // namespace tally
