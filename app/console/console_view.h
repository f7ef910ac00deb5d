// The dialog as lines of text: controls are remembered, message boxes are
// printed, and `status` prints what the controls hold.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_view.h"

class ConsoleView : public DialogView {
 public:
  explicit ConsoleView(std::FILE* out);

  void SetItemText(int control, const std::string& text) override { texts_[control] = text; }
  std::string GetItemText(int control) override;
  void CheckBox(int control, bool checked) override { checks_[control] = checked; }
  void RepaintIndicators(bool buttonL, bool buttonR) override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;

  void AddPointerEntry(const std::string& text) override { pointerEntries_.push_back(text); }
  void SelectPointerEntry(int index) override { selectedEntry_ = index; }
  std::string SelectedPointerEntry() override;
  int SelectedPointerIndex() const { return selectedEntry_; }

  void StartTimer(unsigned periodMs) override;
  void StopTimer() override { timerPeriodMs_ = 0; }
  void EndDialog(int result) override;
  // A console has no window: the stored placement is kept for the window.
  void ApplyPlacement(const WindowPlacementBytes&) override {}
  std::optional<WindowPlacementBytes> CurrentPlacement() override { return std::nullopt; }
  void ScreenSize(int& width, int& height) override;
  void ShowNotice(const std::string& text) override;
  void ShowErrorLogLine(std::string_view line) override;

  // While held, notices wait; Release prints them in order. The start-up's
  // outcome thus follows the welcome text instead of scrolling away above it.
  void HoldNotices() { holding_ = true; }
  void ReleaseNotices();

  bool IsChecked(int control) const;
  unsigned TimerPeriodMs() const { return timerPeriodMs_; }
  bool HasEnded() const { return ended_; }
  // One line: "Status: ... | Cursor: on|off".
  std::string StatusLine();

 private:
  std::FILE* out_;
  std::map<int, std::string> texts_;
  std::map<int, bool> checks_;
  std::vector<std::string> pointerEntries_;
  int selectedEntry_ = -1;
  bool buttonL_ = false;
  bool buttonR_ = false;
  unsigned timerPeriodMs_ = 0;
  bool ended_ = false;
  bool holding_ = false;
  std::vector<std::string> heldNotices_;
};
