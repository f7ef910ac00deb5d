// A page address's QR code in a window of its own, sized to be scanned off
// a projector from the back of a room: black modules on white whatever the
// desktop's theme, the address under the code for phones that cannot scan.
// Escape or a click closes it. It fits the screen: a line too long loses
// its middle.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "app/qr_matrix.h"
#include "platform/screen.h"

namespace qt_window {

class QrCodeWindow final : public QWidget {
 public:
  // A window of its own that stays with owner (and takes input while owner
  // is modal).
  explicit QrCodeWindow(QWidget* owner);

  // Shows code, centred on the screen of area (the cursor screen; owner's
  // screen without one).
  void ShowCode(const QString& address, QrMatrix code,
                const std::optional<platform::ScreenRect>& area);
  // The address line under the code, its middle left out where the screen
  // is too narrow for all of it.
  const QString& ShownAddress() const { return shownAddress_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QRect CodeRect() const;

  QString address_;
  QString shownAddress_;
  QrMatrix code_;
  int modulePixels_ = 1;
};

}  // namespace qt_window
