// A round indicator lamp: its fill colour is fixed, and it is drawn either
// filled (solid) or unfilled (just the outline).
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <array>

#include "ui/backdrop.h"

namespace tally {

class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool filled READ filled WRITE setFilled)
  public:
    explicit Lamp(const QColor& fillColor, QWidget* parent = nullptr);

    bool filled() const { return filled_; }
    void setFilled(bool filled);
    QColor fillColor() const { return fillColor_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fillColor_;
    bool filled_ = false;
    Backdrop backdrop_;
    // Filled or not, enabled or not, on the current backdrop.
    std::array<QPixmap, 4> faces_;
};

}  // namespace tally
