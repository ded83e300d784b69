// Acts inside a dialog's real modal loop: the program calls exec() as it always
// does, and each time the dialog shows, a zero-time timer runs the test's steps
// within that loop. A dialog still open afterwards is hidden, so exec() returns.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace tally::testing {

class ModalLoop : public QObject {
  public:
    // `act` runs once per showing; `shows` counts them.
    ModalLoop(QDialog* dialog, std::function<void()> act) : act_(std::move(act)) {
        dialog->installEventFilter(this);
    }
    int shows = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        QPointer<QDialog> dialog = static_cast<QDialog*>(watched);
        QTimer::singleShot(0, this, [this, dialog] {
            ++shows;
            if (act_) act_();
            if (dialog && dialog->isVisible()) dialog->hide();
        });
        return false;
    }

  private:
    std::function<void()> act_;
};

}  // namespace tally::testing
