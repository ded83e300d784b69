#pragma once

#include <QFont>
#include <QStyledItemDelegate>
#include <QTableView>
#include <vector>

namespace tally {

// Table cells drawn as pictures: the line monitor repaints every row in view for
// each batch of new rows, and laying out and drawing each cell's text again cost
// most of it. A row never changes once written, so a cell's picture (its text on
// its background, elided as the view would) is made once and copied after, from
// the shared pixmap cache. Selected cells take the ordinary way. The view's own
// grid is switched off (it strokes every line anew): each cell draws its edges.
class CachedCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Gives `view` this delegate and no grid of its own, unless painting is plain.
    static void Use(QTableView* view);

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

}  // namespace tally
