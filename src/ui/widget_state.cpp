#include "ui/widget_state.h"

#include <QColor>
#include <QVariant>

namespace tally {

void SetBackColor(QWidget* widget, QRgb rgb) {
    rgb &= 0xFFFFFF;
    // Setting a style sheet re-polishes the widget, which costs far more than the
    // check: polling repaints every output button each cycle.
    if (BackColor(widget) == rgb) return;
    widget->setProperty("backColor", static_cast<uint>(rgb));
    const QString name = QColor(rgb).name();
    // Scoped to the widget's own class so children keep their look.
    widget->setStyleSheet(QStringLiteral("%1 { background-color: %2; }")
                              .arg(QString::fromLatin1(widget->metaObject()->className())
                                       .replace(QStringLiteral("::"), QStringLiteral("--")),
                                   name));
}

QRgb BackColor(const QWidget* widget) {
    const QVariant value = widget->property("backColor");
    return value.isValid() ? static_cast<QRgb>(value.toUInt()) : 0xFFFFFFFF;
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
