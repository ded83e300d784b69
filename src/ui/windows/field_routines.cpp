#include "ui/windows/field_routines.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include "numbers/number_text.h"

namespace tally {

void SelectAllText(QLineEdit* field) {
    if (field) field->setSelection(0, static_cast<int>(field->text().size()));
}

void SelectAllText(QComboBox* field) {
    if (field) SelectAllText(field->lineEdit());
}

void ClampAndFormatField(QLineEdit* field, int maxDecimals, double lo, double hi) {
    if (!field) return;
    const QString text = QString::fromStdString(
        ClampAndFormatText(field->text().toStdString(), maxDecimals, lo, hi));
    field->setText(text);
}

void SetDropDownHeight(QComboBox* combo, int pixels) {
    if (!combo || pixels <= 0) return;
    // The list lives in a popup window of its own; a fixed height there wins over
    // the height the combo box computes from its items when it opens the list.
    QWidget* popup = combo->view()->window();
    if (popup && popup != combo->window()) popup->setFixedHeight(pixels);
}

}  // namespace tally
