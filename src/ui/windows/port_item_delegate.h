// Draws each entry of the port list as its number followed by the device and
// adapter behind it, while the entry's text (what the field takes when it is
// picked) stays the bare number.
#pragma once

#include <QStyledItemDelegate>

namespace tally {

// Item data role holding an entry's detail text.
constexpr int kPortDetailRole = Qt::UserRole + 1;

class PortItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace tally
