#include "ui/windows/port_item_delegate.h"

namespace tally {

void PortItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString detail = index.data(kPortDetailRole).toString();
    if (!detail.isEmpty()) option->text += QStringLiteral("   ") + detail;
}

}  // namespace tally
