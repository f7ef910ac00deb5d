// The console's view that keeps what the dialog told instead of printing
// it, and stands in for the QR code's window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/console/console_view.h"

class RecordingView : public ConsoleView {
 public:
  RecordingView() : ConsoleView(stdout) {}
  void ShowMessageBox(const std::string& text, const std::string&) override {
    messages.push_back(text);
  }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  void ShowQrCode(const std::string& address, const QrMatrix& code) override {
    qrCodes.push_back(address);
    qrOpen = true;
    EXPECT_FALSE(code.IsEmpty());
  }
  bool CloseQrCode() override { return std::exchange(qrOpen, false); }

  std::vector<std::string> messages;
  std::vector<std::string> notices;
  std::vector<std::string> qrCodes;
  bool qrOpen = false;
};
