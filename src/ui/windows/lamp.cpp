#include "ui/windows/lamp.h"

#include <QPainter>

#include "ui/paint/plain_paint.h"
#include "ui/windows/widget_state.h"

namespace tally {

Lamp::Lamp(const QColor& fillColor, QWidget* parent) : QWidget(parent), fillColor_(fillColor) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent, Uses(Technique::Backdrop));
}

void Lamp::setFilled(bool filled) {
    if (filled_ == filled) return;
    filled_ = filled;
    update();
}

void Lamp::setConfirmed(bool confirmed) {
    if (confirmed_ == confirmed) return;
    confirmed_ = confirmed;
    if (filled_) update();
}

QColor Lamp::shownFillColor() const {
    return confirmed_ ? fillColor_ : QColor(kUnconfirmedOnColor);
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
    // An antialiased circle costs many times a copy: each look is drawn once, on
    // what lies under the lamp, so nothing behind it is repainted with it.
    const auto draw = [this](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        const int side = qMin(width(), height()) - 2;
        const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);
        const QColor outline = isEnabled() ? QColor(0x40, 0x40, 0x40) : QColor(0xA0, 0xA0, 0xA0);
        painter.setPen(QPen(outline, 1.2));
        painter.setBrush(filled_ ? QBrush(shownFillColor()) : QBrush(Qt::NoBrush));
        painter.drawEllipse(circle);
    };
    if (!Uses(Technique::Backdrop)) {
        QPainter painter(this);
        return draw(painter);
    }
    backdrop_.Picture(*this);
    if (backdrop_.Renewed()) faces_ = {};
    QPixmap& face = faces_[(filled_ ? 1 : 0) | (isEnabled() ? 2 : 0) | (confirmed_ ? 4 : 0)];
    if (face.isNull()) face = backdrop_.Face(*this, draw);
    QPainter(this).drawPixmap(0, 0, face);
}

}  // namespace tally
