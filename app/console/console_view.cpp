#include "app/console/console_view.h"

#include "platform/screen.h"

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

// A console has no screen of its own to report.
void ConsoleView::ScreenSize(int& width, int& height) {
  platform::PrimaryScreenSize(width, height);
}
