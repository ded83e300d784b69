#include "ui/paint/panel_cache_style.h"

#include <QPainter>
#include <QStyleOption>

#include "ui/paint/plain_paint.h"

namespace tally {

PanelCacheStyle* PanelCacheStyle::Instance() {
    // Lives as long as the program: widgets do not own their style.
    static PanelCacheStyle* style = new PanelCacheStyle;
    return style;
}

void PanelCacheStyle::Use(QWidget* widget) {
    if (Uses(Technique::Frames)) widget->setStyle(Instance());
}

void PanelCacheStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || frame == nullptr || painter->device() == nullptr) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const Look look = Look::Of(*option, painter->device())
                      << frame->lineWidth << static_cast<qint64>(frame->features);
    // A palette set anew makes a new look: never let old ones pile up.
    if (panels_.size() >= 64 && panels_.count(look) == 0) panels_.clear();
    QPixmap& panel = panels_[look];
    if (panel.isNull()) {
        const qreal ratio = painter->device()->devicePixelRatioF();
        panel = QPixmap(option->rect.size() * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        QPainter p(&panel);
        QStyleOptionFrame at = *frame;
        at.rect = QRect(QPoint(0, 0), option->rect.size());
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

}  // namespace tally
