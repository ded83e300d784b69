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
#include <QTableView>
#include <QWidget>
#include <array>
#include <map>
#include <unordered_map>
#include <vector>

namespace tally {

class PanelCacheStyle : public QProxyStyle {
  public:
    // One style for every field that uses it; it follows the application's style.
    static PanelCacheStyle* Instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    // A group box is drawn behind every field in it that changes: its frame is a
    // stretched picture and its title laid out text, clipped to the field but
    // made whole each time. Drawn once per look, each box keeps its own picture
    // (not the shared cache, which the line monitor's cells fill).
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;

  private:
    struct Box {
        QString look;
        QPixmap picture;
    };
    mutable std::unordered_map<const QWidget*, Box> boxes_;
    // A handful of looks (a few sizes and colours, enabled or not), kept here
    // rather than in the shared cache the line monitor's cells fill.
    mutable std::map<std::array<qint64, 8>, QPixmap> panels_;
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
    // What is asked of each font for every cell, found once.
    struct FontFacts {
        QFont font;
        QString key;
        qreal fixedAdvance = 0;  // of every ASCII character in a monospaced font, else 0
        qreal ellipsisWidth = 0;
    };
    const FontFacts& factsOf(const QFont& font) const;

    mutable std::vector<FontFacts> fonts_;
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

// A table view that repaints only what rows added at the end and dropped from
// the top change. An item view lays itself out and repaints every row in view
// for any change of its rows; the line monitor only ever adds rows at the end
// (and, once full, drops as many from the top), and at each batch the rows
// already in view stay as they were or move up as a whole. So: rows added, and
// the new rows' area is repainted (following the bottom, the view's own scroll
// moves the rest); rows dropped from the top while the view sits at the bottom,
// and the picture is moved up by their height. Anything else takes the view's
// own way.
class TailRepaintView : public QTableView {
  public:
    using QTableView::QTableView;

    void setModel(QAbstractItemModel* model) override;
    void reset() override;
    void doItemsLayout() override;

  protected:
    bool event(QEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

  private:
    bool whole_ = true;        // a change other than rows at the ends since the last layout
    int addedFrom_ = -1;       // the first row added since the last layout
    int droppedTop_ = 0;       // rows dropped from the top since the last layout
    int droppedAtValue_ = -1;  // the scroll position then, when it was at the bottom
};

}  // namespace tally
