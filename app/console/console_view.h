// The dialog as lines of text: message boxes and notices are printed, and
// the console's commands format the dialog's state themselves.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/dialog_view.h"

class ConsoleView : public DialogView {
 public:
  explicit ConsoleView(std::FILE* out) : out_(out) {}

  // The console shows the state when asked (status, list).
  void Render(const DialogState& /*state*/) override {}
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  void ShowNotice(const std::string& text) override;
  void ShowErrorLogLine(std::string_view line) override;

  void StartTimer(unsigned periodMs) override { timerPeriodMs_ = periodMs; }
  void StopTimer() override { timerPeriodMs_ = 0; }
  void EndDialog(int /*result*/) override { ended_ = true; }
  void ScreenSize(int& width, int& height) override;

  // While held, notices wait; Release prints them in order. The start-up's
  // outcome thus follows the welcome text instead of scrolling away above it.
  void HoldNotices() { holding_ = true; }
  void ReleaseNotices();

  unsigned TimerPeriodMs() const { return timerPeriodMs_; }
  bool HasEnded() const { return ended_; }

 private:
  std::FILE* out_;
  unsigned timerPeriodMs_ = 0;
  bool ended_ = false;
  bool holding_ = false;
  std::vector<std::string> heldNotices_;
};
