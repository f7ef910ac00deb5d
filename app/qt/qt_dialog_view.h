// The main dialog in a Qt Widgets window: the template's controls, timer 1,
// modal message boxes, the folder picker and the QR code's window. Connect
// turns the widgets' events into the dialog's intents; Render shows its state.
#pragma once

#include <QTimer>
#include <map>
#include <memory>
#include <optional>

#include "app/dialog_template.h"
#include "app/dialog_view.h"
#include "platform/screen.h"

class DialogIntents;
class QAction;
class QComboBox;
class QDialog;
class QMenu;
class QWidget;

namespace qt_window {
class AddressLabel;
class DialogWindow;
class IndicatorBox;
class PointerOverlayWindow;
class QrCodeWindow;
}  // namespace qt_window

class QtDialogView final : public DialogView {
 public:
  QtDialogView();
  ~QtDialogView() override;

  QtDialogView(const QtDialogView&) = delete;
  QtDialogView& operator=(const QtDialogView&) = delete;

  // Routes the controls, the timer and the ways out to the dialog.
  void Connect(DialogIntents& dialog);
  // Shows the window modally until the dialog ends; returns its result.
  int Exec();

  QDialog& Window();
  // The control with that id, or nullptr.
  QWidget* Control(int id) const;

  // The text a label or edit field shows (for the window's tests).
  std::string GetItemText(int control) const;

  // DialogView
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

  // The window of the last QR code shown, or nullptr.
  QWidget* QrWindow() const;
  // The overlay of every pointer, once connected; and the window's context
  // menu entry that switches it.
  qt_window::PointerOverlayWindow* PointerOverlay() const { return overlay_.get(); }
  QAction* ShowPointersAction() const { return showPointersAction_; }
  // The context menu's switch between numbers alone and numbers and names.
  QAction* ShowNamesAction() const { return showNamesAction_; }
  // The context menu's "Cursor screen" choices, filled as the menu opens.
  QMenu* CursorScreenMenu() const { return cursorScreenMenu_; }

 private:
  void BuildControls();
  void FillPointerList();
  void LabelPointerList(const DialogState& state);
  void AddTeacherActions(DialogIntents& dialog);
  void SetItemText(int control, const std::string& text);
  void CheckBox(int control, bool checked);
  void RepaintIndicators(bool buttonL, bool buttonR);

  std::unique_ptr<qt_window::DialogWindow> window_;
  std::map<int, QWidget*> controls_;  // owned by the window
  QComboBox* pointerList_ = nullptr;
  qt_window::IndicatorBox* buttonLIndicator_ = nullptr;
  qt_window::IndicatorBox* buttonRIndicator_ = nullptr;
  qt_window::AddressLabel* addressLine_ = nullptr;
  dialog_template::AddressLineWithNotice addressText_;
  qt_window::QrCodeWindow* qrCodeWindow_ = nullptr;  // owned by the window, made on first use
  QAction* showPointersAction_ = nullptr;              // owned by the window
  QAction* showNamesAction_ = nullptr;                 // owned by the window
  unsigned labelsShown_ = 0;  // the state's labelsChanged the list was last written at
  QMenu* cursorScreenMenu_ = nullptr;                  // owned by the window
  std::unique_ptr<qt_window::PointerOverlayWindow> overlay_;
  QTimer timer_;
  std::optional<platform::ScreenRect> cursorScreenArea_;  // where the QR code opens
  unsigned fieldsPushed_ = 0;  // the state's count when the fields were last written
};
