// DialogView on a Win32 dialog window: renders MainDialog's state into the
// controls of template 102 and takes the edit fields back, nothing more.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/cursor_screen.h"
#include "app/dialog_template.h"
#include "app/dialog_view.h"
#include "app/win32/pointer_overlay_window.h"
#include "app/win32/qr_code_window.h"

class Win32DialogView : public DialogView {
 public:
  // The system menu's entry that switches the pointer overlay.
  static constexpr UINT kShowPointersCommand = 0x0100;
  // Its entries that switch the pointers' names on and off and free the
  // selected pointer's number.
  static constexpr UINT kShowNamesCommand = 0x0110;
  static constexpr UINT kFreeNumberCommand = 0x0120;
  static constexpr UINT kRenameCommand = 0x0130;
  // The "Cursor screen" entries of the system menu: system commands keep
  // their low four bits clear, so the monitors' entries step by 16.
  static constexpr UINT kCursorScreenPrimaryCommand = 0x0200;
  static constexpr UINT kCursorScreenAllCommand = 0x0210;
  static constexpr UINT kCursorScreenMonitorCommand = 0x0220;  // monitor 1; n at + 16 * (n - 1)
  static constexpr int kMostMonitorsOffered = 64;
  static UINT CursorScreenCommand(const CursorScreen& screen);
  // The choice of a system command; none for any other command.
  static std::optional<CursorScreen> CursorScreenOfCommand(UINT command);

  Win32DialogView() = default;
  Win32DialogView(const Win32DialogView&) = delete;
  Win32DialogView& operator=(const Win32DialogView&) = delete;

  // Binds the view to the dialog window once it exists (WM_INITDIALOG) and
  // fills the pointer list.
  void Attach(HWND dialog);
  // Where the overlay reads the pointers from; it shows from the next Render on.
  void ConnectPointerOverlay(PointerOverlayWindow::SightingsReader read);

  void Render(const DialogState& state) override;
  std::optional<FieldTexts> TakeFieldTexts() override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  // Under the address lines, until the next notice or a change of the lines.
  void ShowNotice(const std::string& text) override;
  void StartTimer(unsigned periodMs) override;
  void StopTimer() override;
  void EndDialog(int result) override;
  void ApplyPlacement(const WindowPlacementBytes& placement) override;
  std::optional<WindowPlacementBytes> CurrentPlacement() override;
  void ScreenSize(int& width, int& height) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void ShowQrCode(const std::string& address, const QrMatrix& code) override;
  bool CloseQrCode() override;
  bool CanShowPointerOverlay() const override { return true; }

  // The "Cursor screen" submenu of the system menu, and its entries afresh
  // (WM_INITMENUPOPUP).
  HMENU CursorScreenMenu() const { return cursorScreenMenu_; }
  void FillCursorScreenMenu(const std::vector<CursorScreenChoice>& choices);

  // WM_PAINT: the icon when minimised, else the default painting and the
  // two indicator fills.
  void Paint(HICON icon);

 private:
  void FillIndicator(int control, bool on, COLORREF onColour);
  void SetItemText(int control, const std::string& text);
  std::string GetItemText(int control);
  void CheckBox(int control, bool checked);
  void RepaintIndicators(bool buttonL, bool buttonR);
  void FitAddressLine();
  void LabelPointerList(const DialogState& state);

  HWND dialog_ = nullptr;
  HMENU cursorScreenMenu_ = nullptr;  // destroyed with the system menu
  RECT indicatorRects_[2]{};          // 1022 and 1023 in the dialog's client coordinates
  int addressLineHeight_ = 0;         // the template's, in pixels: the line never gets shorter
  int marginBelowAddressLine_ = 0;    // from the line's bottom to the client area's
  bool buttonL_ = false;
  bool buttonR_ = false;
  UINT_PTR timer_ = 0;
  std::optional<platform::ScreenRect> cursorScreenArea_;  // where the QR code opens
  unsigned fieldsPushed_ = 0;  // the state's count when the fields were last written
  unsigned labelsShown_ = 0;   // the state's labelsChanged the list was last written at
  dialog_template::AddressLineWithNotice addressLine_;
  QrCodeWindow qrCodeWindow_;
  std::unique_ptr<PointerOverlayWindow> overlay_;
};
