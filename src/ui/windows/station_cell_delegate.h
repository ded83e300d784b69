// Draws the Stations view's cells: the inputs and outputs as eight small lamps
// each, and every value its latest read did not confirm in grey, as the main
// window draws its fields and lamps.
#pragma once

#include <QStyledItemDelegate>

namespace tally {

class StationCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace tally
