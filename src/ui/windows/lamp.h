// A round indicator lamp: its fill colour is fixed, and it is drawn either
// filled (solid) or unfilled (just the outline). A lamp whose state no read has
// confirmed since it was set is filled in grey instead.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <array>

#include "ui/paint/backdrop.h"

namespace tally {

class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool filled READ filled WRITE setFilled)
  public:
    explicit Lamp(const QColor& fillColor, QWidget* parent = nullptr);

    bool filled() const { return filled_; }
    void setFilled(bool filled);
    QColor fillColor() const { return fillColor_; }
    bool confirmed() const { return confirmed_; }
    void setConfirmed(bool confirmed);
    // The colour a filled lamp shows now.
    QColor shownFillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fillColor_;
    bool filled_ = false;
    bool confirmed_ = true;
    Backdrop backdrop_;
    // Filled or not, enabled or not, confirmed or not, on the current backdrop.
    std::array<QPixmap, 8> faces_;
};

}  // namespace tally
