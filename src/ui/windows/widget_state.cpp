#include "ui/windows/widget_state.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>
#include <QVariant>

namespace tally {

void SetBackColor(QWidget* widget, QRgb rgb) {
    rgb &= 0xFFFFFF;
    if (BackColor(widget) == rgb) return;
    widget->setProperty("backColor", static_cast<uint>(rgb));
    // Buttons and fields, whose colours polling changes, take a palette colour: a
    // new style sheet re-polishes the widget and can lay the window out again.
    // Other kinds (check boxes) have theirs set once, at start-up, and only a
    // style sheet fills them as the design has it.
    QPalette::ColorRole role = QPalette::Window;
    if (qobject_cast<QLineEdit*>(widget) != nullptr) {
        role = QPalette::Base;
    } else if (qobject_cast<QAbstractButton*>(widget) != nullptr &&
               qobject_cast<QCheckBox*>(widget) == nullptr &&
               qobject_cast<QRadioButton*>(widget) == nullptr) {
        role = QPalette::Button;
    } else {
        // Scoped to the widget's own class so children keep their look.
        widget->setStyleSheet(QStringLiteral("%1 { background-color: %2; }")
                                  .arg(QString::fromLatin1(widget->metaObject()->className())
                                           .replace(QStringLiteral("::"), QStringLiteral("--")),
                                       QColor(rgb).name()));
        return;
    }
    QPalette palette = widget->palette();
    palette.setColor(role, QColor(rgb));
    widget->setPalette(palette);
}

QRgb BackColor(const QWidget* widget) {
    const QVariant value = widget->property("backColor");
    return value.isValid() ? static_cast<QRgb>(value.toUInt()) : 0xFFFFFFFF;
}

void SetConfirmed(QWidget* widget, bool confirmed) {
    if (IsConfirmed(widget) == confirmed) return;
    widget->setProperty("confirmed", confirmed);
    const QPalette::ColorRole role =
        qobject_cast<QAbstractButton*>(widget) != nullptr ? QPalette::ButtonText : QPalette::Text;
    // The normal colour is the one the widget's kind has by default.
    const QPalette normal = QApplication::palette(widget);
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, role,
                         confirmed ? normal.color(group, role) : QColor(kUnconfirmedTextColor));
    }
    widget->setPalette(palette);
}

bool IsConfirmed(const QWidget* widget) {
    const QVariant value = widget->property("confirmed");
    return !value.isValid() || value.toBool();
}

void SetBusy(QWidget* widget, bool busy) {
    if (busy) {
        widget->setCursor(Qt::WaitCursor);
    } else {
        widget->unsetCursor();
    }
}

bool IsBusy(const QWidget* widget) {
    return widget->testAttribute(Qt::WA_SetCursor) && widget->cursor().shape() == Qt::WaitCursor;
}

}  // namespace tally
