// Cheap repaints for the fields a poll cycle rewrites.
//
// A line edit's frame is drawn with antialiased rounded paths, several times the
// cost of its text; the frame of a display field never changes while polling, so
// PanelCacheStyle draws it once per size, state and colour and copies it after.
// StillSlot holds a label whose text changes often at the size its slot in the
// layout gives it, so a new text repaints the label and lays out nothing.
#pragma once

#include <QFont>
#include <QHash>
#include <QProxyStyle>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QWidget>
#include <vector>

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

// Table cells drawn from text laid out once: the line monitor repaints every row
// in view for each batch of new rows, and shaping each cell's text again cost most
// of it. Rows never change once written, so their texts repeat from paint to
// paint. Selected cells and texts too wide for their column (elided) take the
// ordinary way.
class StaticTextDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kMaxTexts = 4096;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    const QStaticText& laidOut(const QString& text, const QFont& font) const;

    mutable std::vector<std::pair<QFont, QHash<QString, QStaticText>>> texts_;
};

}  // namespace tally
