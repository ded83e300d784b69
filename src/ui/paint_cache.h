// Cheap repaints for the fields a poll cycle rewrites.
//
// A line edit's frame is drawn with antialiased rounded paths, several times the
// cost of its text; the frame of a display field never changes while polling, so
// PanelCacheStyle draws it once per size, state and colour and copies it after.
// StillSlot holds a label whose text changes often at the size its slot in the
// layout gives it, so a new text repaints the label and lays out nothing.
#pragma once

#include <QFont>
#include <QProxyStyle>
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

}  // namespace tally
