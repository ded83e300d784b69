#include "ui/paint/trend_chart_view.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QPainter>
#include <QValueAxis>

#include "ui/paint/plain_paint.h"

namespace tally {

TrendChartView::TrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    chart->setBackgroundVisible(false);
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        staleCard_ = viewport()->rect();
        viewport()->update();
    });
}

QChartView* TrendChartView::Make(QChart* chart, QWidget* parent) {
    if (Uses(Technique::Chart)) return new TrendChartView(chart, parent);
    return new QChartView(chart, parent);
}

void TrendChartView::GridMoved(QChartView* view) {
    auto* self = dynamic_cast<TrendChartView*>(view);
    if (self == nullptr) return;
    const QRectF plot = self->chart()->mapRectToScene(self->chart()->plotArea());
    const QRect area = self->mapFromScene(plot).boundingRect().adjusted(-2, -2, 2, 2);
    self->staleGrid_ += area;
    self->viewport()->update(area);
}

void TrendChartView::drawBackground(QPainter* painter, const QRectF& exposed) {
    if (painter->device() != viewport()) {  // a rendering elsewhere: drawn straight
        QChartView::drawBackground(painter, exposed);
        drawCard(painter, exposed);
        drawGrid(painter);
        return;
    }
    renew();
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPoint(0, 0), kept_);
    painter->restore();
}

void TrendChartView::renew() {
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize size = viewport()->size() * ratio;
    if (kept_.size() != size) {
        card_ = QImage(size, QImage::Format_RGB32);
        card_.setDevicePixelRatio(ratio);
        kept_ = card_;
        staleCard_ = viewport()->rect();
    }
    if (!staleCard_.isEmpty()) {
        QPainter picture(&card_);
        for (const QRect& rect : staleCard_) {
            picture.save();
            picture.setClipRect(rect);
            picture.fillRect(rect, viewport()->palette().brush(viewport()->backgroundRole()));
            picture.setTransform(viewportTransform());
            const QRectF scene = mapToScene(rect).boundingRect();
            QChartView::drawBackground(&picture, scene);
            drawCard(&picture, scene);
            picture.restore();
        }
        staleGrid_ += staleCard_;
        staleCard_ = QRegion();
    }
    if (!staleGrid_.isEmpty()) {
        QPainter picture(&kept_);
        picture.setClipRegion(staleGrid_);
        picture.drawImage(QPoint(0, 0), card_);
        picture.setTransform(viewportTransform());
        drawGrid(&picture);
        staleGrid_ = QRegion();
    }
}

void TrendChartView::drawCard(QPainter* painter, const QRectF& exposed) {
    QChart* chart = this->chart();
    painter->save();
    painter->setTransform(chart->sceneTransform(), true);
    const QRectF area = chart->sceneTransform().inverted().mapRect(exposed);
    qreal left = 0, top = 0, right = 0, bottom = 0;
    chart->layout()->getContentsMargins(&left, &top, &right, &bottom);
    const QRectF card = chart->rect().adjusted(left, top, -right, -bottom);
    const qreal round = chart->backgroundRoundness();
    // Away from the card's edge and its rounded corners, a plain fill.
    const qreal corner = round + 1;
    const QRectF inner = card.adjusted(1, 1, -1, -1);
    const bool nearCorner =
        (area.left() < inner.left() + corner || area.right() > inner.right() - corner) &&
        (area.top() < inner.top() + corner || area.bottom() > inner.bottom() - corner);
    if (inner.contains(area) && !nearCorner) {
        painter->fillRect(area, chart->backgroundBrush());
    } else {
        painter->setRenderHint(QPainter::Antialiasing, renderHints() & QPainter::Antialiasing);
        painter->setPen(chart->backgroundPen());
        painter->setBrush(chart->backgroundBrush());
        painter->drawRoundedRect(card, round, round);
    }
    painter->restore();
}

void TrendChartView::drawGrid(QPainter* painter) {
    QChart* chart = this->chart();
    painter->save();
    painter->setTransform(chart->sceneTransform(), true);
    // Lines along the pixel grid gain nothing from antialiasing, which costs
    // each line as much as the plot's lines of readings together.
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QRectF plot = chart->plotArea();
    for (QAbstractAxis* axis : chart->axes()) {
        if (!axis->isVisible()) continue;
        painter->setPen(axis->gridLinePen());
        if (auto* time = qobject_cast<QCategoryAxis*>(axis)) {
            // At both ends, and at each category's end: the labels' round times.
            QList<double> at{time->min(), time->startValue(), time->max()};
            for (const QString& label : time->categoriesLabels())
                at << time->endValue(label);
            const double span = time->max() - time->min();
            for (const double value : at) {
                const qreal x = plot.left() + (value - time->min()) / span * plot.width();
                if (span > 0 && x >= plot.left() && x <= plot.right())
                    painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            }
        } else if (auto* values = qobject_cast<QValueAxis*>(axis)) {
            const int ticks = values->tickCount();
            for (int i = 0; i < ticks && ticks > 1; ++i) {
                const qreal y = plot.bottom() - i * plot.height() / (ticks - 1);
                painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            }
        }
    }
    painter->restore();
}

}  // namespace tally
