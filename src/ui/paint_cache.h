// Cheap repaints for the fields a poll cycle rewrites.
//
// A line edit's frame is drawn with antialiased rounded paths, several times the
// cost of its text; the frame of a display field never changes while polling, so
// PanelCacheStyle draws it once per size, state and colour and copies it after.
// StillSlot holds a label whose text changes often at the size its slot in the
// layout gives it, so a new text repaints the label and lays out nothing.
#pragma once

#include <QProxyStyle>
#include <QWidget>

namespace tally {

class PanelCacheStyle : public QProxyStyle {
  public:
    // One style for every field that uses it; it follows the application's style.
    static PanelCacheStyle* Instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

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

}  // namespace tally
