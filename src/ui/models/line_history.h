// What the line monitor shows, kept from program start: the newest rows and the
// line's statistics.
//
// The program makes one before anything reaches the line and keeps it as long
// as the engine lives; the monitor window only shows it. So the window, opened
// late, shows the recent past and figures since the port was opened, and its
// counts never miss a request whose outcome they do count.
#pragma once

#include <QObject>

#include "engine/line_event.h"
#include "engine/line_statistics.h"
#include "ui/models/line_model.h"

namespace tally {

class LineHistory : public QObject, public LineListener {
    Q_OBJECT
  public:
    // How soon a row outside a poll cycle reaches the monitor.
    static constexpr int kCommitDelayMs = 250;

    explicit LineHistory(std::size_t capacity = LineModel::DefaultCapacity,
                         QObject* parent = nullptr);

    void OnLineEvent(const LineEvent& event) override;

    LineModel& Model() { return model_; }
    const LineModel& Model() const { return model_; }
    const LineStatistics& Statistics() const { return stats_; }
    void ResetStatistics();

  signals:
    // The figures moved on (once per event that counts).
    void statisticsChanged();

  private:
    LineModel model_;
    LineStatistics stats_;
};

}  // namespace tally
