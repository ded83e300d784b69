#include "ui/paint_hold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace tally {

PaintHold::PaintHold(QWidget* window, std::function<bool()> holding, int limitMs)
    : QObject(window), window_(window), holding_(std::move(holding)), limitMs_(limitMs) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { Release(); });
    // Application-wide: input goes to the control under the mouse or with the focus.
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->installEventFilter(this);
}

PaintHold::~PaintHold() {
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
    limit_.stop();
    if (!held_) return;
    held_ = false;
    // The window's repaint manager still counts its request as sent: this one
    // stands for it.
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool PaintHold::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::UpdateRequest:
            if (watched != window_) return false;
            if (!held_ && holding_()) {
                held_ = true;
                limit_.start(limitMs_);
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
