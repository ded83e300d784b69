// What shows through where a widget paints nothing: its window's background and
// what each of its ancestors draws there (a group box's frame, say).
//
// A widget that repaints every poll cycle and says it paints every pixel
// (Qt::WA_OpaquePaintEvent) spares Qt from repainting its group box and the
// window behind it each time; it then has to draw that background itself, around
// its own rounded corners. The picture is made once per look by letting each
// ancestor paint the widget's rectangle, and is made again when any of them moves,
// resizes, changes colours or is enabled or disabled.
#pragma once

#include <QPixmap>
#include <functional>

#include "ui/paint/look.h"

class QPainter;
class QWidget;

namespace tally {

class Backdrop {
  public:
    // The background under `widget`, the widget's size; made anew when the look
    // of what lies under it has changed since the last call.
    const QPixmap& Picture(const QWidget& widget);
    // Paints it over the whole widget.
    void Paint(QPainter& painter, const QWidget& widget);
    // The background with `draw` painted on it, as an opaque picture to copy.
    QPixmap Face(const QWidget& widget, const std::function<void(QPainter&)>& draw);
    // True when the last Picture() had to be made anew.
    bool Renewed() const { return renewed_; }

  private:
    Look look_;
    QPixmap picture_;
    bool renewed_ = false;
};

}  // namespace tally
