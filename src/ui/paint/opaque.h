// A widget that repaints while polling (a counter's field, the status line, the
// line statistics) and paints every pixel of itself: what lies under it first,
// from a kept picture, then itself. A new text then repaints the widget alone and
// not the group box and window behind it, which its rounded corners and its
// margins would otherwise let show. It stays a QLabel or QLineEdit to everyone.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

#include "ui/paint/backdrop.h"
#include "ui/paint/plain_paint.h"

namespace tally {

template <typename Widget>
class Opaque : public Widget {
  public:
    template <typename... Args>
    explicit Opaque(Args&&... args) : Widget(std::forward<Args>(args)...) {
        this->setAttribute(Qt::WA_OpaquePaintEvent, Uses(Technique::Backdrop));
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (Uses(Technique::Backdrop)) {
            QPainter painter(this);
            painter.setClipRegion(event->region());
            backdrop_.Paint(painter, *this);
        }
        Widget::paintEvent(event);
    }

  private:
    Backdrop backdrop_;
};

using OpaqueLabel = Opaque<QLabel>;
// A read-only line edit showing a number the poll cycle rewrites.
using DisplayField = Opaque<QLineEdit>;

}  // namespace tally
