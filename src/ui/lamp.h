// A round indicator lamp: its fill colour is fixed, and it is drawn either
// filled (solid) or unfilled (just the outline).
#pragma once

#include <QColor>
#include <QWidget>

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
};

}  // namespace tally
