#include "app/console/console_view.h"

#include <cstdio>

#include "platform/console_text.h"
#include "platform/screen.h"

namespace {

// What the console prints may carry a phone's or a typist's bytes: a NUL
// would end the text there, and escape sequences would drive the terminal.
// Control bytes are shown as escapes instead; line ends stay.
std::string ShownOnConsole(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\t' || (byte >= 0x20 && byte != 0x7F)) {
      shown += c;
    } else if (byte == 0) {
      shown += "\\0";
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      shown += escaped;
    }
  }
  return shown;
}

// One write per line: lines from several threads stay whole.
void PrintLine(std::FILE* out, std::string_view prefix, std::string_view text) {
  const std::string line = std::string(prefix) + ShownOnConsole(text) + "\n";
  platform::WriteUtf8(out, line);
  std::fflush(out);
}

}  // namespace

void ConsoleView::ShowMessageBox(const std::string& text, const std::string& /*caption*/) {
  PrintLine(out_, "", text);
}

void ConsoleView::ShowNotice(const std::string& text) {
  if (holding_) {
    heldNotices_.push_back(text);
    return;
  }
  PrintLine(out_, "", text);
}

void ConsoleView::ReleaseNotices() {
  holding_ = false;
  for (const std::string& notice : heldNotices_) ShowNotice(notice);
  heldNotices_.clear();
}

void ConsoleView::ShowErrorLogLine(std::string_view line) {
  PrintLine(out_, "Error log: ", line);
}

// A console has no screen of its own to report.
void ConsoleView::ScreenSize(int& width, int& height) {
  platform::PrimaryScreenSize(width, height);
}
