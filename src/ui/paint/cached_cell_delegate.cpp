#include "ui/paint/cached_cell_delegate.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHashFunctions>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <algorithm>

#include "ui/paint/look.h"
#include "ui/paint/plain_paint.h"

namespace tally {

void CachedCellDelegate::Use(QTableView* view) {
    if (!Uses(Technique::Cells)) return;
    view->setItemDelegate(new CachedCellDelegate(view));
    view->setShowGrid(false);
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
    const FontFacts& font = factsOf(item.font);
    const Look look{static_cast<qint64>(qHash(font.key)),
                    size.width(),
                    size.height(),
                    qRound64(ratio * 100),
                    back.rgba(),
                    fore.rgba(),
                    grid.rgba(),
                    static_cast<qint64>(item.displayAlignment),
                    item.textElideMode};
    QString key;
    key.reserve(item.text.size() + 24);
    key += QLatin1String("tally-cell|");
    key += QString::number(look.Hash(), 36);
    key += QLatin1Char('|');
    key += item.text;
    QPixmap cell;
    if (!QPixmapCache::find(key, &cell)) {
        cell = QPixmap(size * ratio);
        cell.setDevicePixelRatio(ratio);
        cell.fill(back);
        QPainter p(&cell);
        // The edges filled, not stroked: a fill of one colour is a copy.
        p.fillRect(QRect(size.width() - 1, 0, 1, size.height()), grid);
        p.fillRect(QRect(0, size.height() - 1, size.width(), 1), grid);
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
        int width = 0;
        const bool ascii = std::all_of(shown.cbegin(), shown.cend(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7f;
        });
        if (font.fixedAdvance > 0 && ascii && item.textElideMode == Qt::ElideRight) {
            // The hex and text columns, most of the work: in a monospaced font
            // the width is a count, and the cut needs no shaping either.
            qreal exact = static_cast<qreal>(shown.size()) * font.fixedAdvance;
            if (exact > area.width()) {
                const int keep = std::max(
                    0, static_cast<int>((area.width() - font.ellipsisWidth) / font.fixedAdvance));
                shown = shown.left(keep) + QChar(0x2026);
                exact = keep * font.fixedAdvance + font.ellipsisWidth;
            }
            width = qRound(exact);
        } else {
            width = metrics.horizontalAdvance(shown);
            if (width > area.width()) {
                shown = metrics.elidedText(shown, item.textElideMode, area.width());
                width = metrics.horizontalAdvance(shown);
            }
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

const CachedCellDelegate::FontFacts& CachedCellDelegate::factsOf(const QFont& font) const {
    for (const FontFacts& known : fonts_)
        if (known.font == font) return known;
    FontFacts facts;
    facts.font = font;
    facts.key = font.key();
    const QFontMetrics metrics(font);
    if (QFontInfo(font).fixedPitch()) {
        // Monospaced in name and in fact, for every printable ASCII character;
        // the advance is fractional, so widths are summed before rounding.
        const QFontMetricsF exact(font);
        const qreal advance = exact.horizontalAdvance(QLatin1Char('0'));
        bool same = advance > 0;
        for (char c = 0x20; same && c < 0x7f; ++c)
            same = exact.horizontalAdvance(QLatin1Char(c)) == advance;
        if (same && qAbs(exact.horizontalAdvance(QStringLiteral("0A: <>")) - 6 * advance) < 0.01)
            facts.fixedAdvance = advance;
    }
    facts.ellipsisWidth = QFontMetricsF(font).horizontalAdvance(QChar(0x2026));
    fonts_.push_back(facts);
    return fonts_.back();
}

}  // namespace tally
