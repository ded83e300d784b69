#include "ui/paint_cache.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <algorithm>

namespace tally {

PanelCacheStyle* PanelCacheStyle::Instance() {
    // Lives as long as the program: widgets do not own their style.
    static PanelCacheStyle* style = new PanelCacheStyle;
    return style;
}

void PanelCacheStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || frame == nullptr || painter->device() == nullptr) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatioF();
    const QSize size = option->rect.size();
    // Everything the panel's look depends on.
    const QString key = QStringLiteral("tally-panel-%1x%2-%3-%4-%5-%6-%7")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio)
                            .arg(static_cast<uint>(option->state))
                            .arg(frame->lineWidth)
                            .arg(option->palette.cacheKey())
                            .arg(static_cast<int>(option->direction));
    QPixmap panel;
    if (!QPixmapCache::find(key, &panel)) {
        panel = QPixmap(size * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        QPainter p(&panel);
        QStyleOptionFrame at = *frame;
        at.rect = QRect(QPoint(0, 0), size);
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
        p.end();
        QPixmapCache::insert(key, panel);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

void StaticTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* view = item.widget;
    QStyle* style = view != nullptr ? view->style() : nullptr;
    if (style == nullptr || (item.state & QStyle::State_Selected) ||
        (item.features &
         (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration)) ||
        item.text.contains(QLatin1Char('\n'))) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The margins and the text's place as the style's own item drawing has them.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const QRect area = item.rect.adjusted(margin, 0, -margin, 0);
    const QStaticText& text = laidOut(item.text, item.font);
    const QSizeF size = text.size();
    if (size.width() > area.width()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    if (item.backgroundBrush.style() != Qt::NoBrush)
        painter->fillRect(item.rect, item.backgroundBrush);
    const QRect at =
        QStyle::alignedRect(item.direction, item.displayAlignment, size.toSize(), area);
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(group, QPalette::Text));
    painter->drawStaticText(at.topLeft(), text);
    painter->restore();
}

const QStaticText& StaticTextDelegate::laidOut(const QString& text, const QFont& font) const {
    auto fonts = std::find_if(texts_.begin(), texts_.end(),
                              [&font](const auto& entry) { return entry.first == font; });
    if (fonts == texts_.end()) {
        texts_.emplace_back(font, QHash<QString, QStaticText>());
        fonts = texts_.end() - 1;
    }
    QHash<QString, QStaticText>& known = fonts->second;
    auto found = known.constFind(text);
    if (found != known.constEnd()) return *found;
    // Bounded: the texts of a long run come and go; what is in view is laid out again.
    if (known.size() >= kMaxTexts) known.clear();
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), font);
    return *known.insert(text, laid);
}

StillSlot::StillSlot(QWidget* child, QWidget* parent) : QWidget(parent), child_(child) {
    child_->setParent(this);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(child_->sizeHint().height());
}

void StillSlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    child_->setGeometry(rect());
}

}  // namespace tally
