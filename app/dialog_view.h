// What the main dialog's logic needs from a window: the dialog's own terms,
// nothing of any toolkit. The Win32 dialog, the Linux window and the console
// front end each implement it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/dialog_controls.h"
#include "app/settings.h"
#include "pointer/live_status_view.h"

class DialogView : public LiveStatusView {
 public:
  virtual void SetItemText(int control, const std::string& text) = 0;
  virtual void CheckBox(int control, bool checked) = 0;
  // Repaints the ButtonL and ButtonR indicator squares at once.
  virtual void RepaintIndicators(bool buttonL, bool buttonR) = 0;
  virtual std::string GetItemText(int control) = 0;
  virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;

  // The pointer list (combo box 1020).
  virtual void AddPointerEntry(const std::string& text) = 0;
  virtual void SelectPointerEntry(int index) = 0;
  virtual std::string SelectedPointerEntry() = 0;

  // Timer 1: while started, the view calls MainDialog::OnTimer every periodMs.
  virtual void StartTimer(unsigned periodMs) = 0;
  virtual void StopTimer() = 0;

  virtual void EndDialog(int result) = 0;
  virtual void ApplyPlacement(const WindowPlacementBytes& placement) = 0;
  // Empty when the view has no window whose placement is worth keeping.
  virtual std::optional<WindowPlacementBytes> CurrentPlacement() = 0;
  virtual void ScreenSize(int& width, int& height) = 0;

  // The system's folder picker with that title; empty when nothing was
  // chosen. A view without one (the console) chooses nothing.
  virtual std::optional<std::string> ChooseFolder(const std::string& /*title*/) {
    return std::nullopt;
  }
  // One line that says what a command did, or why it did not. A window
  // shows the outcome in its controls already and may ignore it.
  virtual void ShowNotice(const std::string& /*text*/) {}
  // A line the server engine has just written to its error log. Called on
  // the engine's threads, so an override must be safe there.
  virtual void ShowErrorLogLine(std::string_view /*line*/) {}

  // The live status in the dialog's Status group.
  void ShowX(const std::string& text) final { SetItemText(control::kX, text); }
  void ShowY(const std::string& text) final { SetItemText(control::kY, text); }
  void ShowButtons(bool buttonL, bool buttonR) final { RepaintIndicators(buttonL, buttonR); }
  void ShowOffScreen(bool offScreen) final { CheckBox(control::kOffScreen, offScreen); }
  void ShowCursorEmulation(bool on) final { CheckBox(control::kCursorEmulation, on); }
  void ShowActiveConnections(const std::string& text) final {
    SetItemText(control::kActiveConnections, text);
  }
  void ShowKbReceived(const std::string& text) final { SetItemText(control::kKbReceived, text); }
  void ShowKbSent(const std::string& text) final { SetItemText(control::kKbSent, text); }
  void ShowRequests(const std::string& text) final { SetItemText(control::kRequests, text); }
  void ShowRequestsPerSecond(const std::string& text) final {
    SetItemText(control::kRequestsPerSecond, text);
  }
  void ShowVisitors(const std::string& text) final { SetItemText(control::kVisitors, text); }
};
