#include "ui/paint_hold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace tally {

PaintHold::PaintHold(QWidget* window, std::function<bool()> holding, std::unique_ptr<Timer> limit)
    : QObject(window), window_(window), holding_(std::move(holding)), limit_(std::move(limit)) {
    limit_->SetEnabled(false);
    limit_->onTick = [this] { Release(); };
    // Application-wide: input goes to the control under the mouse or with the focus.
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->installEventFilter(this);
}

PaintHold::~PaintHold() {
    limit_->onTick = nullptr;
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeEventFilter(this);
}

void PaintHold::Recheck() {
    if (!held_ || checkPosted_) return;
    checkPosted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { check(); }, Qt::QueuedConnection);
}

void PaintHold::check() {
    checkPosted_ = false;
    if (held_ && !holding_()) Release();
}

void PaintHold::Release() {
    limit_->SetEnabled(false);
    if (!held_) return;
    held_ = false;
    // The line may still be busy: this paint goes through all the same.
    releasing_ = true;
    // The window's repaint manager still counts its request as sent: this one
    // stands for it.
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool PaintHold::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::UpdateRequest:
            if (watched != window_) return false;
            if (releasing_) {
                releasing_ = false;
                ++paints_;
                return false;
            }
            if (!held_ && holding_()) {
                held_ = true;
                limit_->SetEnabled(true);
                return true;
            }
            if (held_) return true;  // one stands in line already
            ++paints_;
            return false;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::Wheel:
        case QEvent::Close:
        case QEvent::Hide: {
            // What the operator does shows at once.
            if (!held_ || !watched->isWidgetType()) return false;
            if (static_cast<QWidget*>(watched)->window() == window_) Release();
            return false;
        }
        default:
            return false;
    }
}

}  // namespace tally
