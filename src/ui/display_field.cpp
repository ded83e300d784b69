#include "ui/display_field.h"

#include <QEvent>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace tally {
namespace {

// What a number shows: digits, sign, point, separator, exponent.
constexpr char kAlphabet[] = "0123456789+-.,E";
constexpr int kAlphabetSize = sizeof(kAlphabet) - 1;
static_assert(kAlphabetSize <= 16, "one glyph slot per character drawn");

int alphabetIndex(QChar ch) {
    const char16_t code = ch.unicode();
    for (int i = 0; i < kAlphabetSize; ++i)
        if (code == static_cast<char16_t>(kAlphabet[i])) return i;
    return -1;
}

// QLineEdit's own margins around its line of text.
constexpr int kHorizontalMargin = 2;
constexpr int kVerticalMargin = 1;

}  // namespace

DisplayField::DisplayField(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool DisplayField::DrawnByGlyphs(const QString& text) {
    if (text.isEmpty()) return false;
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return alphabetIndex(ch) >= 0; });
}

void DisplayField::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        if (paintByGlyphs(painter)) {
            glyphPainted_ = true;
            ++glyphPaints_;
            return;
        }
        // The line edit's own way, on what lies under the field: it draws only
        // its frame and text.
        backdrop_.Paint(painter, *this);
    }
    glyphPainted_ = false;
    QLineEdit::paintEvent(event);
}

bool DisplayField::paintByGlyphs(QPainter& painter) {
    const QString shown = text();
    if (ownWayOnly_ || hasFocus() || hasSelectedText() || echoMode() != Normal ||
        layoutDirection() != Qt::LeftToRight || !DrawnByGlyphs(shown))
        return false;
    if (!fontKnown_) {
        fontKnown_ = true;
        font_ = QRawFont::fromFont(font());
        glyphs_ = {};
        for (int i = 0; i < kAlphabetSize && font_.isValid(); ++i) {
            const QList<quint32> index = font_.glyphIndexesForString(QString(QChar(kAlphabet[i])));
            if (index.size() != 1) continue;
            const QList<QPointF> advance = font_.advancesForGlyphIndexes(index);
            const QRect ink = fontMetrics().boundingRect(QString(QChar(kAlphabet[i])));
            glyphs_[static_cast<std::size_t>(i)] = {index[0], advance.value(0).x(), ink.top(),
                                                    ink.top() + ink.height()};
        }
    }
    if (!font_.isValid()) return false;

    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(shown.size());
    positions.reserve(shown.size());
    qreal width = 0;
    for (QChar ch : shown) {
        const Glyph& glyph = glyphs_[static_cast<std::size_t>(alphabetIndex(ch))];
        // A character the font lacks comes from another font: the line edit's way.
        if (glyph.index == 0) return false;
        indexes.append(glyph.index);
        positions.append(QPointF(width, 0));
        width += glyph.advance;
    }

    // Where QLineEdit puts its line of text, and the text in it.
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const QRect contents = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins());
    const QFontMetrics metrics = fontMetrics();
    const int lineHeight = std::max(inkHeight(shown), metrics.height());
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    int top = contents.y() + (contents.height() - lineHeight + 1) / 2;
    if (align & Qt::AlignBottom) {
        top = contents.bottom() + 1 - lineHeight - kVerticalMargin;
    } else if (align & Qt::AlignTop) {
        top = contents.y() + kVerticalMargin;
    }
    const QRect line(contents.x() + kHorizontalMargin, top,
                     contents.width() - 2 * kHorizontalMargin, lineHeight);
    const int used = qRound(width) + 1;
    // Too wide to show whole: the line edit scrolls it to its cursor.
    if (used > line.width()) return false;
    int scroll = 0;
    if (align & Qt::AlignRight) {
        scroll = used - line.width() + 1;
    } else if (align & Qt::AlignHCenter) {
        scroll = (used - line.width()) / 2;
    }
    const qreal ascent = font_.ascent();
    const QPointF baseline(line.x() - scroll,
                           line.y() - (qRound(ascent) - metrics.ascent()) + ascent);

    painter.drawPixmap(0, 0, face());
    painter.setClipRect(contents);
    painter.setPen(palette().text().color());
    QGlyphRun run;
    run.setRawFont(font_);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    painter.drawGlyphRun(baseline, run);
    return true;
}

const QPixmap& DisplayField::face() {
    backdrop_.Picture(*this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const std::vector<qint64> look{static_cast<qint64>(panel.state), palette().cacheKey(),
                                   reinterpret_cast<qint64>(style()), panel.lineWidth,
                                   static_cast<qint64>(panel.features)};
    if (!backdrop_.Renewed() && look == faceLook_ && !face_.isNull()) return face_;
    faceLook_ = look;
    face_ = backdrop_.Face(*this, [&](QPainter& painter) {
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    });
    return face_;
}

int DisplayField::inkHeight(const QString& text) const {
    // The ink of a line of glyphs reaches from the highest top to the lowest
    // bottom of its glyphs, and at least to the baseline.
    int top = 0;
    int bottom = 0;
    bool first = true;
    for (QChar ch : text) {
        const Glyph& glyph = glyphs_[static_cast<std::size_t>(alphabetIndex(ch))];
        top = first ? glyph.inkTop : std::min(top, glyph.inkTop);
        bottom = std::max(bottom, glyph.inkBottom);
        first = false;
    }
    return bottom - top;
}

void DisplayField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        fontKnown_ = false;
    }
    QLineEdit::changeEvent(event);
}

void DisplayField::placeTextForMouse() {
    if (!glyphPainted_) return;
    // Painted the line edit's way once, out of sight, it knows where its text lies.
    ownWayOnly_ = true;
    QImage scratch(size(), QImage::Format_ARGB32_Premultiplied);
    render(&scratch);
    ownWayOnly_ = false;
}

void DisplayField::mousePressEvent(QMouseEvent* event) {
    placeTextForMouse();
    QLineEdit::mousePressEvent(event);
}

void DisplayField::mouseDoubleClickEvent(QMouseEvent* event) {
    placeTextForMouse();
    QLineEdit::mouseDoubleClickEvent(event);
}

}  // namespace tally
