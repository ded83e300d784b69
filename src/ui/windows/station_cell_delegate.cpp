#include "ui/windows/station_cell_delegate.h"

#include <QApplication>
#include <QPainter>

#include "ui/models/stations_model.h"
#include "ui/windows/widget_state.h"

namespace tally {
namespace {

constexpr QRgb kLampOnColor = 0xFF8080;
constexpr int kLampGap = 3;

bool IsLampColumn(const QModelIndex& index) {
    return index.column() == StationsModel::ColInputs ||
           index.column() == StationsModel::ColOutputs;
}

}  // namespace

void StationCellDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(StationsModel::ConfirmedRole).toBool()) {
        option->palette.setColor(QPalette::Text, QColor::fromRgb(kUnconfirmedTextColor));
        option->palette.setColor(QPalette::HighlightedText, QColor::fromRgb(kUnconfirmedTextColor));
    }
}

void StationCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    if (!IsLampColumn(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The cell's background and selection, without its text.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QString flags = cell.text;
    cell.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    const bool confirmed = index.data(StationsModel::ConfirmedRole).toBool();
    const QRect area = option.rect.adjusted(kLampGap, 0, -kLampGap, 0);
    const int side = std::max(4, std::min(area.height() - 6, area.width() / 8 - kLampGap));
    const int total = 8 * side + 7 * kLampGap;
    int x = area.left() + (area.width() - total) / 2;
    const int y = area.top() + (area.height() - side) / 2;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    for (int k = 0; k < 8; ++k, x += side + kLampGap) {
        const QChar flag = k < flags.size() ? flags.at(k) : QLatin1Char('-');
        painter->setPen(QPen(
            flag == QLatin1Char('-') ? QColor(0xB0, 0xB0, 0xB0) : QColor(0x40, 0x40, 0x40), 1.0));
        painter->setBrush(flag != QLatin1Char('1') ? QBrush(Qt::NoBrush)
                          : confirmed              ? QBrush(QColor::fromRgb(kLampOnColor))
                                                   : QBrush(QColor::fromRgb(kUnconfirmedOnColor)));
        painter->drawEllipse(QRectF(x, y, side, side));
    }
    painter->restore();
}

QSize StationCellDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    if (!IsLampColumn(index)) return text;
    const int side = option.fontMetrics.height() * 2 / 3;
    return {8 * side + 9 * kLampGap, text.height()};
}

}  // namespace tally
