// A page address's QR code in a popup window of its own, sized to be
// scanned off a projector from the back of a room: black modules on white
// whatever the system's colours, the address under the code for phones that
// cannot scan. Escape or a click closes it. It fits the monitor: a line too
// long loses its middle.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/qr_matrix.h"
#include "platform/screen.h"

class QrCodeWindow {
 public:
  // The window class the test finds the window by.
  static constexpr const char* kClassName = "TVXHandvaneQrCode";

  QrCodeWindow() = default;
  ~QrCodeWindow();
  QrCodeWindow(const QrCodeWindow&) = delete;
  QrCodeWindow& operator=(const QrCodeWindow&) = delete;

  // Shows code, centred on the monitor of area (the cursor screen; owner's
  // monitor without one), in place of any code shown before.
  void Show(HWND owner, const std::string& address, const QrMatrix& code,
            const std::optional<platform::ScreenRect>& area);
  void Close();
  bool IsOpen() const { return window_ != nullptr; }

 private:
  static void RegisterWindowClass();
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::string address_;
  std::string shownAddress_;  // its middle left out where the monitor is too narrow
  QrMatrix code_;
  int modulePixels_ = 1;
};
