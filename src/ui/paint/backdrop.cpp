#include "ui/paint/backdrop.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <vector>

namespace tally {
namespace {

// The widget's ancestors up to its window, the window first.
std::vector<QWidget*> ancestorsOf(const QWidget& widget) {
    std::vector<QWidget*> chain;
    for (QWidget* above = widget.parentWidget(); above != nullptr;
         above = above->isWindow() ? nullptr : above->parentWidget())
        chain.insert(chain.begin(), above);
    return chain;
}

// The widget's size and where it stands in each ancestor, and their looks.
Look lookOf(const QWidget& widget) {
    Look look{widget.width(), widget.height(), qRound64(widget.devicePixelRatioF() * 100),
              widget.isActiveWindow() ? 1 : 0};
    for (const QWidget* above : ancestorsOf(widget)) {
        const QPoint at = widget.mapTo(above, QPoint(0, 0));
        look << at.x() << at.y() << Look::Of(*above);
    }
    return look;
}

}  // namespace

const QPixmap& Backdrop::Picture(const QWidget& widget) {
    Look look = lookOf(widget);
    renewed_ = look != look_ || picture_.isNull();
    if (!renewed_) return picture_;
    look_ = std::move(look);
    const qreal ratio = widget.devicePixelRatioF();
    picture_ = QPixmap(widget.size() * ratio);
    picture_.setDevicePixelRatio(ratio);
    picture_.fill(Qt::transparent);
    // From the window down, each paints its own part of the widget's rectangle
    // (no children: the widget's siblings do not reach under it).
    for (QWidget* above : ancestorsOf(widget)) {
        const QRect area(widget.mapTo(above, QPoint(0, 0)), widget.size());
        // A window fills its background; any other widget only if it fills its own.
        above->render(&picture_, QPoint(0, 0), QRegion(area),
                      above->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    return picture_;
}

void Backdrop::Paint(QPainter& painter, const QWidget& widget) {
    painter.drawPixmap(0, 0, Picture(widget));
}

QPixmap Backdrop::Face(const QWidget& widget, const std::function<void(QPainter&)>& draw) {
    const QPixmap& under = Picture(widget);
    QImage image = under.toImage();
    {
        QPainter painter(&image);
        draw(painter);
    }
    // Opaque, so each repaint copies it rather than blends it.
    QPixmap face = QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32));
    face.setDevicePixelRatio(under.devicePixelRatio());
    return face;
}

}  // namespace tally
