// The two lines at the bottom of the dialog that say where phones open the
// page; a click on them is handed on (the dialog then shows the QR code).
#pragma once

#include <QLabel>
#include <functional>

namespace qt_window {

class AddressLabel final : public QLabel {
 public:
  AddressLabel(const QString& text, QWidget* parent);

  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace qt_window
