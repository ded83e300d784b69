#include "ui/paint_cache.h"

#include <QHashFunctions>
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

void CachedCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* view = item.widget;
    QStyle* style = view != nullptr ? view->style() : nullptr;
    const Qt::BrushStyle brush = item.backgroundBrush.style();
    if (style == nullptr || (item.state & QStyle::State_Selected) ||
        (item.features &
         (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration)) ||
        (brush != Qt::NoBrush && brush != Qt::SolidPattern) ||
        item.text.contains(QLatin1Char('\n'))) {
        QStyledItemDelegate::paint(painter, option, index);
        paintGrid(painter, option);
        return;
    }
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    // The background the view laid under the cell: its own colour, or the row's.
    const QColor back = brush == Qt::SolidPattern ? item.backgroundBrush.color()
                        : (item.features & QStyleOptionViewItem::Alternate)
                            ? item.palette.color(group, QPalette::AlternateBase)
                            : item.palette.color(group, QPalette::Base);
    const QColor fore = item.palette.color(group, QPalette::Text);
    // The view draws no grid (a line at a time, each stroked anew): each cell
    // carries its own right and bottom edge in the grid's colour.
    const QColor grid = QColor::fromRgba(
        static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &item, view)));
    const QSize size = item.rect.size();
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    // Everything but the text folded into one number: the key is made for every
    // cell of every repaint.
    std::size_t look = qHash(fontKey(item.font));
    for (const std::size_t part :
         {std::size_t(size.width()), std::size_t(size.height()), std::size_t(ratio * 100),
          std::size_t(back.rgba()), std::size_t(fore.rgba()), std::size_t(grid.rgba()),
          std::size_t(item.displayAlignment), std::size_t(item.textElideMode)})
        look = look * 1000003u ^ part;
    QString key;
    key.reserve(item.text.size() + 24);
    key += QLatin1String("tally-cell|");
    key += QString::number(look, 36);
    key += QLatin1Char('|');
    key += item.text;
    QPixmap cell;
    if (!QPixmapCache::find(key, &cell)) {
        cell = QPixmap(size * ratio);
        cell.setDevicePixelRatio(ratio);
        cell.fill(back);
        QPainter p(&cell);
        p.setPen(grid);
        p.drawLine(size.width() - 1, 0, size.width() - 1, size.height() - 1);
        p.drawLine(0, size.height() - 1, size.width() - 1, size.height() - 1);
        p.setFont(item.font);
        p.setPen(fore);
        // The margins and the elision of the style's own item drawing.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QRect area = QRect(QPoint(0, 0), size).adjusted(margin, 0, -margin - 1, -1);
        const QString shown =
            QFontMetrics(item.font).elidedText(item.text, item.textElideMode, area.width());
        p.drawText(area,
                   static_cast<int>(QStyle::visualAlignment(item.direction, item.displayAlignment)),
                   shown);
        p.end();
        QPixmapCache::insert(key, cell);
    }
    painter->drawPixmap(item.rect.topLeft(), cell);
}

void CachedCellDelegate::paintGrid(QPainter* painter, const QStyleOptionViewItem& option) const {
    const QWidget* view = option.widget;
    if (view == nullptr) return;
    const QRect r = option.rect;
    painter->save();
    painter->setPen(QColor::fromRgba(static_cast<QRgb>(
        view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, view))));
    painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter->restore();
}

const QString& CachedCellDelegate::fontKey(const QFont& font) const {
    for (const auto& [known, key] : fontKeys_)
        if (known == font) return key;
    fontKeys_.emplace_back(font, font.key());
    return fontKeys_.back().second;
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
