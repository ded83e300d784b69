#include "ui/paint/still_slot.h"

#include "ui/paint/plain_paint.h"

namespace tally {

StillSlot::StillSlot(QWidget* child, QWidget* parent) : QWidget(parent), child_(child) {
    child_->setParent(this);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(child_->sizeHint().height());
}

void StillSlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Of a fixed size, the child's new text asks nobody to lay anything out (a
    // widget free to change its size posts its parent a layout request each time).
    child_->setFixedSize(size());
    child_->move(0, 0);
}

QWidget* InStillSlot(QWidget* label, QWidget* parent) {
    return Uses(Technique::Slot) ? new StillSlot(label, parent) : label;
}

}  // namespace tally
