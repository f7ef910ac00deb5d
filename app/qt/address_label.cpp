#include "app/qt/address_label.h"

#include <QMouseEvent>

namespace qt_window {

AddressLabel::AddressLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setWordWrap(true);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setCursor(Qt::PointingHandCursor);
}

void AddressLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
      onClick) {
    onClick();
  }
  QLabel::mouseReleaseEvent(event);
}

}  // namespace qt_window
