// A view that passes everything on to another, which can be swapped while
// the dialog runs: the window's view until its display goes away, the
// console's after. The engine's threads call through it (error log lines),
// hence the atomic target; the one it left stays alive, never called again.
#pragma once

#include <atomic>

#include "app/dialog_view.h"

class RelayView final : public DialogView {
 public:
  explicit RelayView(DialogView& first) : target_(&first) {}

  // The timer goes on in next if it ran.
  void SwitchTo(DialogView& next) {
    target_ = &next;
    if (timerPeriodMs_ != 0) next.StartTimer(timerPeriodMs_);
  }

  void Render(const DialogState& state) override { target_.load()->Render(state); }
  std::optional<FieldTexts> TakeFieldTexts() override { return target_.load()->TakeFieldTexts(); }
  void ShowMessageBox(const std::string& text, const std::string& caption) override {
    target_.load()->ShowMessageBox(text, caption);
  }
  void ShowNotice(const std::string& text) override { target_.load()->ShowNotice(text); }
  void ShowErrorLogLine(std::string_view line) override { target_.load()->ShowErrorLogLine(line); }
  void StartTimer(unsigned periodMs) override {
    timerPeriodMs_ = periodMs;
    target_.load()->StartTimer(periodMs);
  }
  void StopTimer() override {
    timerPeriodMs_ = 0;
    target_.load()->StopTimer();
  }
  void EndDialog(int result) override { target_.load()->EndDialog(result); }
  void ApplyPlacement(const WindowPlacementBytes& placement) override {
    target_.load()->ApplyPlacement(placement);
  }
  std::optional<WindowPlacementBytes> CurrentPlacement() override {
    return target_.load()->CurrentPlacement();
  }
  void ScreenSize(int& width, int& height) override { target_.load()->ScreenSize(width, height); }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    return target_.load()->ChooseFolder(title);
  }
  void ShowQrCode(const std::string& address, const QrMatrix& code) override {
    target_.load()->ShowQrCode(address, code);
  }
  bool CloseQrCode() override { return target_.load()->CloseQrCode(); }
  bool CanShowPointerOverlay() const override { return target_.load()->CanShowPointerOverlay(); }

 private:
  std::atomic<DialogView*> target_;
  unsigned timerPeriodMs_ = 0;  // the dialog's thread only
};
