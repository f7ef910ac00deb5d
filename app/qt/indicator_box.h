// A sunken square with a black frame, filled with one colour: the ButtonL
// and ButtonR indicators.
#pragma once

#include <QColor>
#include <QFrame>

namespace qt_window {

class IndicatorBox final : public QFrame {
 public:
  explicit IndicatorBox(QWidget* parent);

  void SetColor(const QColor& color) { color_ = color; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor color_;
};

}  // namespace qt_window
