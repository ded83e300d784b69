#include "ui/paint_cache.h"

#include <QCursor>
#include <QHashFunctions>
#include <QMouseEvent>
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
        // Drawn at its baseline: the rectangle form lays the text out as a
        // paragraph, twice the cost of the text itself, and a cell is one line.
        // Eliding shapes the text again, so only a text too wide is elided.
        const QFontMetrics metrics(item.font);
        QString shown = item.text;
        int width = metrics.horizontalAdvance(shown);
        if (width > area.width()) {
            shown = metrics.elidedText(shown, item.textElideMode, area.width());
            width = metrics.horizontalAdvance(shown);
        }
        const Qt::Alignment align = QStyle::visualAlignment(item.direction, item.displayAlignment);
        const int x = (align & Qt::AlignRight)     ? area.right() + 1 - width
                      : (align & Qt::AlignHCenter) ? area.left() + (area.width() - width) / 2
                                                   : area.left();
        const int y = (align & Qt::AlignTop) ? area.top()
                      : (align & Qt::AlignBottom)
                          ? area.bottom() + 1 - metrics.height()
                          : area.top() + (area.height() - metrics.height()) / 2;
        p.drawText(QPoint(x, y + metrics.ascent()), shown);
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

QStyleOptionSlider CachedScrollBar::option() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    if (pressed_ != QStyle::SC_None) {
        option.activeSubControls = pressed_;
        option.state |= QStyle::State_Sunken;
    } else if (underMouse()) {
        option.activeSubControls = style()->hitTestComplexControl(
            QStyle::CC_ScrollBar, &option, mapFromGlobal(QCursor::pos()), this);
    }
    return option;
}

CachedScrollBar::Look CachedScrollBar::lookOf(const QStyleOptionSlider& option) const {
    Look look;
    look.handle =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.size = size();
    look.ratio = devicePixelRatioF();
    look.state = static_cast<int>(option.state);
    look.active = static_cast<int>(option.activeSubControls);
    look.palette = option.palette.cacheKey();
    // The arrows grey out at either end.
    look.atMinimum = option.sliderValue <= option.minimum;
    look.atMaximum = option.sliderValue >= option.maximum;
    return look;
}

void CachedScrollBar::sliderChange(SliderChange change) {
    if ((change == SliderRangeChange || change == SliderValueChange) && !picture_.isNull() &&
        lookOf(option()) == painted_)
        return;
    QScrollBar::sliderChange(change);
}

void CachedScrollBar::mousePressEvent(QMouseEvent* event) {
    const QStyleOptionSlider at = option();
    pressed_ = style()->hitTestComplexControl(QStyle::CC_ScrollBar, &at,
                                              event->position().toPoint(), this);
    QScrollBar::mousePressEvent(event);
}

void CachedScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    pressed_ = QStyle::SC_None;
    QScrollBar::mouseReleaseEvent(event);
}

void CachedScrollBar::paintEvent(QPaintEvent*) {
    const QStyleOptionSlider at = option();
    const Look look = lookOf(at);
    if (picture_.isNull() || !(look == painted_)) {
        picture_ = QPixmap(size() * look.ratio);
        picture_.setDevicePixelRatio(look.ratio);
        picture_.fill(palette().color(backgroundRole()));
        QPainter p(&picture_);
        // Fewer spans at a time than the engine splits.
        constexpr int kBand = 64;
        for (int top = 0; top < height(); top += kBand) {
            p.setClipRect(QRect(0, top, width(), std::min(kBand, height() - top)));
            style()->drawComplexControl(QStyle::CC_ScrollBar, &at, &p, this);
        }
        p.end();
        painted_ = look;
    }
    QPainter(this).drawPixmap(0, 0, picture_);
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
