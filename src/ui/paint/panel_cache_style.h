// A display field's frame is an antialiased rounded path, several times the cost
// of the text in it, and never changes while polling: this style draws it once
// per look and copies it after.
#pragma once

#include <QPixmap>
#include <QProxyStyle>
#include <map>

#include "ui/paint/look.h"

namespace tally {

class PanelCacheStyle : public QProxyStyle {
  public:
    // One style for every field that uses it; it follows the application's style.
    static PanelCacheStyle* Instance();
    // Gives `widget` this style, unless painting is plain.
    static void Use(QWidget* widget);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

  private:
    // A handful of looks (a few sizes and colours, enabled or not).
    mutable std::map<Look, QPixmap> panels_;
};

}  // namespace tally
