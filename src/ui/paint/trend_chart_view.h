// The trend chart's card and grid, drawn as the view's background. Qt Charts draws
// them as items of the scene, and each change of a line (every reading) repaints
// every item its area touches, whole: an antialiased grid line costs as much as
// the lines of the readings together. Here the area is filled and the grid lines
// drawn on whole pixels, without antialiasing, into pictures the view keeps: the
// card alone, drawn again when the plot area or the view's size changes, and the
// card with the grid, drawn again from it where an axis moved. A reading's repaint
// copies the part under its lines.
#pragma once

#include <QChartView>
#include <QImage>
#include <QRegion>

namespace tally {

class TrendChartView : public QChartView {
  public:
    TrendChartView(QChart* chart, QWidget* parent);

    // The chart's view, or a stock one when painting is plain.
    static QChartView* Make(QChart* chart, QWidget* parent);
    // An axis moved: its grid lines with it, in the plot area alone.
    static void GridMoved(QChartView* view);

  protected:
    void drawBackground(QPainter* painter, const QRectF& exposed) override;

  private:
    void renew();
    void drawCard(QPainter* painter, const QRectF& exposed);
    void drawGrid(QPainter* painter);

    QImage card_;        // the card, as the viewport shows it
    QImage kept_;        // the card and its grid
    QRegion staleCard_;  // where the card picture no longer matches the chart
    QRegion staleGrid_;  // where the grid on it no longer does
};

}  // namespace tally
