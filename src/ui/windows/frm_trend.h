// The trend chart window: the counters, or their rates, against local time.
//
// Non-modal and kept once made: closing it only hides it, and the model behind
// it goes on collecting whether it is shown or not. While it is shown it is
// redrawn from the model after a reading, at most once per pixel column of time, each series that
// changed replaced with its whole list of points; the time axis moves in steps (RightEdgeMs).
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "ui/models/trend_model.h"
#include "ui/models/trend_plot.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QTimer;
class QChart;
class QChartView;
class QCategoryAxis;
class QLineSeries;
class QValueAxis;

namespace tally {

class FrmTrend : public QWidget {
    Q_OBJECT
  public:
    // Takes the model's onRowAdded.
    explicit FrmTrend(TrendModel& model, QWidget* parent = nullptr);
    ~FrmTrend() override;

    // --- Controls (objectName = the name below; arrays add "_" and the channel) ---
    // Index 0-7 = channel 1-8.
    std::array<QCheckBox*, kTrendChannels> chkTrend{};
    QRadioButton* optTrendValue = nullptr;
    QRadioButton* optTrendRate = nullptr;
    QComboBox* cmbTrendSpan = nullptr;
    QCheckBox* chkTrendPause = nullptr;
    QPushButton* cmdTrendSave = nullptr;
    QChartView* chartView = nullptr;
    QChart* chart = nullptr;
    // Milliseconds since the epoch (UTC); labelled with round local times.
    QCategoryAxis* axisX = nullptr;
    QValueAxis* axisY = nullptr;

    // Asks where to save the image (QFileDialog::getSaveFileName by default); an
    // empty answer saves nothing.
    std::function<QString(QWidget* parent, const QString& caption, const QString& suggested,
                          const QString& filter)>
        askSaveFileName;

    // Draws the model's current state at once (the timer does this while shown).
    void Refresh();
    void cmdTrendSave_Click();

    // Each channel's colour, in the lines, the legend and the check boxes.
    static QColor ChannelColor(int channel);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct ChannelSeries {
        std::vector<QLineSeries*> lines;  // lines[0] carries the legend entry
        QLineSeries* dots = nullptr;      // drawn as dots only
    };

    void buildUi();
    void buildChart();
    QLineSeries* addLine(int channel);
    void showTrace(int channel, const ChannelTrace& trace, bool shown);
    void showTooltip(int channel, double axisMs, bool entering);
    void refreshTick();
    void rowAdded();
    void pauseToggled(bool paused);
    // Everything but the right edge, which Refresh sets.
    TrendView currentView() const;
    double liveEdgeMs(int spanSeconds) const;
    // Monotonic microseconds to the time axis (milliseconds since the epoch).
    double axisMillis(std::int64_t micros) const;
    std::int64_t modelMicros(double axisMs) const;
    void updateAxisOffset();
    void setTimeAxis(double fromMs, double toMs, int spanSeconds);
    void saveGeometryNow() const;

    const TrendModel& model_;
    QTimer* refreshTimer_ = nullptr;  // a redraw waiting for its turn
    QElapsedTimer drawnAt_;
    std::array<ChannelSeries, kTrendChannels> series_{};
    std::uint64_t drawnRevision_ = 0;
    bool drawnOnce_ = false;
    // The right edge on the time axis while paused, and as last drawn.
    double pausedEdgeMs_ = 0.0;
    double drawnEdgeMs_ = 0.0;
    // The window last drawn, for the tooltip's search.
    std::int64_t drawnFrom_ = 0;
    std::int64_t drawnTo_ = 0;
    std::optional<std::int64_t> offsetAnchor_;
    double offsetMs_ = 0.0;
    std::vector<std::int64_t> drawnTicks_;
    int drawnTickSpan_ = 0;
};

}  // namespace tally
