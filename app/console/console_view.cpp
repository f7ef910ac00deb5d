#include "app/console/console_view.h"

#include "app/dialog_controls.h"
#include "platform/screen.h"

// The status controls start with the texts the dialog template gives them.
ConsoleView::ConsoleView(std::FILE* out) : out_(out) {
  texts_[control::kStatus] = "Idle...";
  for (int statusControl :
       {control::kVisitors, control::kRequests, control::kKbSent, control::kKbReceived,
        control::kRequestsPerSecond, control::kActiveConnections, control::kX, control::kY}) {
    texts_[statusControl] = "0";
  }
}

std::string ConsoleView::GetItemText(int control) {
  const auto found = texts_.find(control);
  return found == texts_.end() ? std::string() : found->second;
}

void ConsoleView::RepaintIndicators(bool buttonL, bool buttonR) {
  buttonL_ = buttonL;
  buttonR_ = buttonR;
}

void ConsoleView::ShowMessageBox(const std::string& text, const std::string& /*caption*/) {
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ConsoleView::ShowNotice(const std::string& text) {
  if (holding_) {
    heldNotices_.push_back(text);
    return;
  }
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ConsoleView::ReleaseNotices() {
  holding_ = false;
  for (const std::string& notice : heldNotices_) ShowNotice(notice);
  heldNotices_.clear();
}

// One call per line: the C library keeps lines from several threads whole.
void ConsoleView::ShowErrorLogLine(std::string_view line) {
  std::fprintf(out_, "Error log: %.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(out_);
}

std::string ConsoleView::SelectedPointerEntry() {
  if (selectedEntry_ < 0 || selectedEntry_ >= static_cast<int>(pointerEntries_.size())) return {};
  return pointerEntries_[static_cast<std::size_t>(selectedEntry_)];
}

void ConsoleView::StartTimer(unsigned periodMs) {
  timerPeriodMs_ = periodMs;
}

void ConsoleView::EndDialog(int /*result*/) {
  ended_ = true;
}

// A console has no screen of its own to report.
void ConsoleView::ScreenSize(int& width, int& height) {
  platform::PrimaryScreenSize(width, height);
}

bool ConsoleView::IsChecked(int control) const {
  const auto found = checks_.find(control);
  return found != checks_.end() && found->second;
}

std::string ConsoleView::StatusLine() {
  const std::string entry = SelectedPointerEntry();
  const std::string pointer = entry.size() >= 2 ? entry.substr(entry.size() - 2) : "--";
  return "Status: " + GetItemText(control::kStatus) +
         " | Active Conn.: " + GetItemText(control::kActiveConnections) +
         " | Requests: " + GetItemText(control::kRequests) +
         " | KB Sent: " + GetItemText(control::kKbSent) +
         " | KB Received: " + GetItemText(control::kKbReceived) +
         " | Visitors: " + GetItemText(control::kVisitors) +
         " | Requests/Sec: " + GetItemText(control::kRequestsPerSecond) +
         " | X: " + GetItemText(control::kX) + " | Y: " + GetItemText(control::kY) +
         " | ButtonL: " + (buttonL_ ? "1" : "0") + " | ButtonR: " + (buttonR_ ? "1" : "0") +
         " | Off-Screen: " + (IsChecked(control::kOffScreen) ? "1" : "0") +
         " | Pointer: " + pointer +
         " | Cursor: " + (IsChecked(control::kCursorEmulation) ? "on" : "off");
}
