// Cheap repaints for the fields a poll cycle rewrites.
//
// A line edit's frame is drawn with antialiased rounded paths, several times the
// cost of its text; the frame of a display field never changes while polling, so
// PanelCacheStyle draws it once per size, state and colour and copies it after.
// StillSlot holds a label whose text changes often at the size its slot in the
// layout gives it, so a new text repaints the label and lays out nothing.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QWidget>
#include <vector>

namespace tally {

class PanelCacheStyle : public QProxyStyle {
  public:
    // One style for every field that uses it; it follows the application's style.
    static PanelCacheStyle* Instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

class StillSlot : public QWidget {
  public:
    // `child` is made a child of the slot and kept at the slot's whole size; the
    // slot asks the layout for the child's height and any width.
    explicit StillSlot(QWidget* child, QWidget* parent = nullptr);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* child_;
};

// Table cells drawn as pictures: the line monitor repaints every row in view for
// each batch of new rows, and laying out and drawing each cell's text again cost
// most of it. A row never changes once written, so a cell's picture (its text on
// its background, elided as the view would) is made once and copied after, from
// the shared pixmap cache. Selected cells take the ordinary way. The view's own
// grid is switched off (it strokes every line anew): each cell draws its edges.
class CachedCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    // The cell's share of the grid, which the view leaves to the cells.
    void paintGrid(QPainter* painter, const QStyleOptionViewItem& option) const;
    const QString& fontKey(const QFont& font) const;

    mutable std::vector<std::pair<QFont, QString>> fontKeys_;
};

// A scroll bar drawn once per look and copied after. A scroll area lays out its
// scroll bars at every change of range and raises both, which repaints both
// though neither changed; the line monitor's range grows with every batch of
// rows. Drawing a scroll bar is costly for another reason too: Qt's raster
// engine hands any fill of more than about 96 spans to its thread pool in
// slices and waits for them, two thread wake-ups per slice, and a scroll bar's
// groove and edges run its whole length. So the picture is drawn a band of
// lines at a time, kept, and copied while its look is unchanged; and a new
// range that leaves the handle where it was (once it sits at its least length
// at the bottom) repaints nothing.
class CachedScrollBar : public QScrollBar {
  public:
    explicit CachedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr)
        : QScrollBar(orientation, parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void sliderChange(SliderChange change) override;

  private:
    // Everything the picture depends on.
    struct Look {
        QRect handle;
        QSize size;
        qreal ratio = 1.0;
        int state = 0;
        int active = 0;
        qint64 palette = 0;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look& o) const {
            return handle == o.handle && size == o.size && ratio == o.ratio && state == o.state &&
                   active == o.active && palette == o.palette && atMinimum == o.atMinimum &&
                   atMaximum == o.atMaximum;
        }
    };
    // The style's option as QScrollBar paints with, the pressed or hovered part lit.
    QStyleOptionSlider option() const;
    Look lookOf(const QStyleOptionSlider& option) const;

    QPixmap picture_;
    Look painted_;
    QStyle::SubControl pressed_ = QStyle::SC_None;
};

}  // namespace tally
