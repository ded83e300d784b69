#include "ui/paint_cache.h"

#include <QCursor>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHashFunctions>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <algorithm>
#include <utility>

#include "ui/paint_bands.h"

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
    // Everything the panel's look depends on, as numbers: the key is made for
    // every field of every repaint.
    const std::array<qint64, 8> key{size.width(),
                                    size.height(),
                                    qRound64(ratio * 100),
                                    static_cast<qint64>(option->state),
                                    frame->lineWidth,
                                    option->palette.cacheKey(),
                                    static_cast<qint64>(option->direction),
                                    static_cast<qint64>(frame->features)};
    // A palette set anew makes a new key: never let old ones pile up.
    if (panels_.size() >= 64 && panels_.count(key) == 0) panels_.clear();
    QPixmap& panel = panels_[key];
    if (panel.isNull()) {
        panel = QPixmap(size * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        QPainter p(&panel);
        QStyleOptionFrame at = *frame;
        at.rect = QRect(QPoint(0, 0), size);
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

void PanelCacheStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || box == nullptr || widget == nullptr ||
        painter->device() == nullptr) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatioF();
    const QSize size = option->rect.size();
    const QString look = QStringLiteral("%1x%2-%3-%4-%5-%6-%7-%8-%9")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(ratio)
                             .arg(static_cast<uint>(option->state))
                             .arg(option->palette.cacheKey())
                             .arg(static_cast<int>(box->features))
                             .arg(static_cast<int>(box->subControls) << 16 |
                                  static_cast<int>(box->activeSubControls))
                             .arg(widget->font().key())
                             .arg(static_cast<int>(box->textAlignment)) +
                         QLatin1Char('|') + box->text;
    auto found = boxes_.find(widget);
    if (found == boxes_.end()) {
        found = boxes_.emplace(widget, Box()).first;
        connect(widget, &QObject::destroyed, this, [this, widget] { boxes_.erase(widget); });
    }
    Box& cached = found->second;
    if (cached.look != look) {
        cached.look = look;
        cached.picture = QPixmap(size * ratio);
        cached.picture.setDevicePixelRatio(ratio);
        // On the window's colour the box stands on: drawn onto transparency and
        // blended after, its half-covered pixels would come out a shade off.
        cached.picture.fill(option->palette.color(QPalette::Window));
        QPainter p(&cached.picture);
        QStyleOptionGroupBox at = *box;
        at.rect = QRect(QPoint(0, 0), size);
        QProxyStyle::drawComplexControl(control, &at, &p, widget);
    }
    // Only what is to be repainted, a rectangle of it at a time, in bands.
    const QPaintEngine* engine = painter->paintEngine();
    const QRegion clip = engine != nullptr && !engine->systemClip().isEmpty()
                             ? painter->deviceTransform().inverted().map(engine->systemClip())
                             : QRegion(option->rect);
    for (const QRect& part : clip & option->rect) {
        InBands(part, [&](const QRect& band) {
            const QPoint from = band.topLeft() - option->rect.topLeft();
            painter->drawPixmap(band.topLeft(), cached.picture,
                                QRectF(from.x() * ratio, from.y() * ratio, band.width() * ratio,
                                       band.height() * ratio));
        });
    }
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
    std::size_t look = qHash(font.key);
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
        InBands(rect(), [&](const QRect& band) {
            p.setClipRect(band);
            style()->drawComplexControl(QStyle::CC_ScrollBar, &at, &p, this);
        });
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
    // Of a fixed size, the child's new text asks nobody to lay anything out (a
    // widget free to change its size posts its parent a layout request each time).
    child_->setFixedSize(size());
    child_->move(0, 0);
}

void TailRepaintView::setModel(QAbstractItemModel* model) {
    whole_ = true;
    QTableView::setModel(model);
    if (model == nullptr) return;
    // Changes that move rows or columns about: the view's own way.
    const auto whole = [this] { whole_ = true; };
    connect(model, &QAbstractItemModel::layoutChanged, this, whole);
    connect(model, &QAbstractItemModel::rowsMoved, this, whole);
    connect(model, &QAbstractItemModel::columnsInserted, this, whole);
    connect(model, &QAbstractItemModel::columnsRemoved, this, whole);
    connect(model, &QAbstractItemModel::columnsMoved, this, whole);
}

void TailRepaintView::reset() {
    whole_ = true;
    QTableView::reset();
}

bool TailRepaintView::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::LayoutDirectionChange:
            whole_ = true;
            break;
        default:
            break;
    }
    return QTableView::event(event);
}

void TailRepaintView::rowsInserted(const QModelIndex& parent, int start, int end) {
    if (parent.isValid() || model() == nullptr || end != model()->rowCount() - 1) {
        whole_ = true;
    } else if (addedFrom_ < 0 || start < addedFrom_) {
        addedFrom_ = start;
    }
    QTableView::rowsInserted(parent, start, end);
}

void TailRepaintView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QScrollBar* scroll = verticalScrollBar();
    // Only rows off the top, none added since the last layout, the view at the
    // bottom and every row as high as the next.
    if (parent.isValid() || start != 0 || addedFrom_ >= 0 || scroll->value() < scroll->maximum() ||
        verticalHeader()->sectionResizeMode(0) != QHeaderView::Fixed) {
        whole_ = true;
    } else {
        droppedTop_ += end - start + 1;
        droppedAtValue_ = scroll->value();
    }
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void TailRepaintView::doItemsLayout() {
    const bool whole = std::exchange(whole_, false);
    const int addedFrom = std::exchange(addedFrom_, -1);
    const int dropped = std::exchange(droppedTop_, 0);
    const int droppedAtValue = std::exchange(droppedAtValue_, -1);
    // More dropped than added: the range shrank and the view moved.
    if (whole || addedFrom < 0 || model() == nullptr || dropped > model()->rowCount() - addedFrom) {
        QTableView::doItemsLayout();
        return;
    }
    // What QTableView::doItemsLayout does after rows were dropped.
    verticalHeader()->setUpdatesEnabled(true);
    updateGeometries();
    QWidget* port = viewport();
    if (dropped > 0) {
        // Still at the same place: the rows in view moved up by the dropped ones.
        if (verticalScrollBar()->value() != droppedAtValue) {
            port->update();
            return;
        }
        port->scroll(0, -dropped * verticalHeader()->defaultSectionSize());
    }
    const int top = std::max(0, rowViewportPosition(addedFrom));
    if (top < port->height()) port->update(QRect(0, top, port->width(), port->height() - top));
}

}  // namespace tally
