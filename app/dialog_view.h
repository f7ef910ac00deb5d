// What MainDialog needs from a front end: a place to render its state, and
// the few things only a window system can do (message boxes, a timer, the
// folder picker, the QR code's window). The Win32 dialog, the Linux window
// and the console each implement it; none of them decides anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/dialog_state.h"
#include "app/field_texts.h"
#include "app/qr_matrix.h"
#include "app/settings.h"

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Shows the state; called after every change of it, and at every tick.
  virtual void Render(const DialogState& state) = 0;
  // The field exchange: the texts of the edit fields. A view without edit
  // fields (the console) has none, and the dialog keeps its own values.
  virtual std::optional<FieldTexts> TakeFieldTexts() { return std::nullopt; }

  virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
  // One line that says what a command did, or why it did not. A window
  // shows the outcome in its controls already and may ignore it.
  virtual void ShowNotice(const std::string& /*text*/) {}
  // A line the server engine has just written to its error log. Called on
  // the engine's threads, so an override must be safe there.
  virtual void ShowErrorLogLine(std::string_view /*line*/) {}

  // Timer 1: while started, the view calls MainDialog::Tick every periodMs.
  virtual void StartTimer(unsigned periodMs) = 0;
  virtual void StopTimer() = 0;
  virtual void EndDialog(int result) = 0;

  // A view without a window (the console) keeps the stored placement for the window.
  virtual void ApplyPlacement(const WindowPlacementBytes& /*placement*/) {}
  // Empty when the view has no window whose placement is worth keeping.
  virtual std::optional<WindowPlacementBytes> CurrentPlacement() { return std::nullopt; }
  virtual void ScreenSize(int& width, int& height) = 0;

  // The system's folder picker with that title; empty when nothing was
  // chosen. A view without one (the console) chooses nothing.
  virtual std::optional<std::string> ChooseFolder(const std::string& /*title*/) {
    return std::nullopt;
  }
  // The QR code of address in a window of its own, large enough to scan off
  // a projector, until Escape or a click closes it; another call replaces
  // it. A view without windows (the console) has printed its code already.
  virtual void ShowQrCode(const std::string& /*address*/, const QrMatrix& /*code*/) {}
  // Closes the QR code's window, if one is open (its address is no longer
  // the one phones open, or Escape was pressed); true when one was.
  virtual bool CloseQrCode() { return false; }
  // Whether the view can lay the pointer overlay over the screen; the
  // console cannot.
  virtual bool CanShowPointerOverlay() const { return false; }
};
