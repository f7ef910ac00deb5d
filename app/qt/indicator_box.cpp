#include "app/qt/indicator_box.h"

#include <QPainter>

namespace qt_window {

IndicatorBox::IndicatorBox(QWidget* parent) : QFrame(parent), color_(210, 210, 210) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

void IndicatorBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect inside = contentsRect();
  painter.fillRect(inside, color_);
  painter.setPen(Qt::black);
  painter.drawRect(inside.adjusted(0, 0, -1, -1));
  drawFrame(&painter);
}

}  // namespace qt_window
