#include "ui/lamp.h"

#include <QPainter>
#include <QPixmapCache>

namespace tally {

Lamp::Lamp(const QColor& fillColor, QWidget* parent) : QWidget(parent), fillColor_(fillColor) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::setFilled(bool filled) {
    if (filled_ == filled) return;
    filled_ = filled;
    update();
}

QSize Lamp::sizeHint() const {
    // Follows the font so the lamp scales with the display.
    const int side = fontMetrics().height() + 2;
    return {side, side};
}

QSize Lamp::minimumSizeHint() const {
    return sizeHint();
}

void Lamp::paintEvent(QPaintEvent*) {
    // An antialiased circle costs many times a copy: each look is drawn once.
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("tally-lamp-%1x%2-%3-%4-%5-%6")
                            .arg(width())
                            .arg(height())
                            .arg(ratio)
                            .arg(fillColor_.rgba())
                            .arg(int(filled_))
                            .arg(int(isEnabled()));
    QPixmap look;
    if (!QPixmapCache::find(key, &look)) {
        look = QPixmap(size() * ratio);
        look.setDevicePixelRatio(ratio);
        look.fill(Qt::transparent);
        QPainter painter(&look);
        painter.setRenderHint(QPainter::Antialiasing);
        const int side = qMin(width(), height()) - 2;
        const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);
        QColor outline = isEnabled() ? QColor(0x40, 0x40, 0x40) : QColor(0xA0, 0xA0, 0xA0);
        painter.setPen(QPen(outline, 1.2));
        painter.setBrush(filled_ ? QBrush(fillColor_) : QBrush(Qt::NoBrush));
        painter.drawEllipse(circle);
        painter.end();
        QPixmapCache::insert(key, look);
    }
    QPainter(this).drawPixmap(0, 0, look);
}

}  // namespace tally
