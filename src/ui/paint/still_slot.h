// A label whose text changes often (the status line) held at the size its slot
// in the layout gives it: a widget free to change its size posts its parent a
// layout request at each new text; a fixed one repaints itself and lays out nothing.
#pragma once

#include <QWidget>

namespace tally {

class StillSlot : public QWidget {
  public:
    // `child` is made a child of the slot and kept at the slot's whole size; the
    // slot asks the layout for the child's height and any width.
    explicit StillSlot(QWidget* child, QWidget* parent = nullptr);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* child_;
};

// `label` in its slot, or the label alone when painting is plain.
QWidget* InStillSlot(QWidget* label, QWidget* parent);

}  // namespace tally
