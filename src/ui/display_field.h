// A read-only line edit that shows a number the poll cycle rewrites (a counter's
// raw and scaled value), made cheap to repaint.
//
// A QLineEdit repaints its group box and the window behind it (its rounded
// corners let them show), draws its frame, measures its text's ink once more and
// lays it out to draw it: most of a poll cycle's painting. This field paints every
// pixel itself instead, so nothing behind it is repainted: its frame on what lies
// under it is one picture per look, and a number is drawn as the font's glyphs
// placed by their advances, where a QLineEdit would place them (numbers are not
// kerned). Anything else (a text with other characters, a selection, the focus, a
// text wider than the field) is painted the line edit's own way, on the same
// background. It stays a QLineEdit to everyone who reads or sets its text.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <QRawFont>
#include <array>
#include <vector>

#include "ui/backdrop.h"

namespace tally {

class DisplayField : public QLineEdit {
  public:
    explicit DisplayField(const QString& text, QWidget* parent = nullptr);

    // Characters drawn as glyphs by advance; any other is painted the line edit's way.
    static bool DrawnByGlyphs(const QString& text);
    // Repaints that took the glyph way, for tests.
    int GlyphPaints() const { return glyphPaints_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    // False when the text must be painted the line edit's way.
    bool paintByGlyphs(QPainter& painter);
    // The backdrop with the frame drawn on it.
    const QPixmap& face();
    // Ink height of the text's glyphs, as QLineEdit measures it before centring.
    int inkHeight(const QString& text) const;
    // The line edit's own painting sets where a click lands in the text.
    void placeTextForMouse();

    struct Glyph {
        quint32 index = 0;
        qreal advance = 0;
        int inkTop = 0;  // from the baseline, up is negative
        int inkBottom = 0;
    };
    Backdrop backdrop_;
    QPixmap face_;
    std::vector<qint64> faceLook_;
    QRawFont font_;
    bool fontKnown_ = false;
    std::array<Glyph, 16> glyphs_{};  // by the character's place among those drawn so
    bool glyphPainted_ = false;
    bool ownWayOnly_ = false;
    int glyphPaints_ = 0;
};

}  // namespace tally
