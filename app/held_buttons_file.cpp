#include "app/held_buttons_file.h"

#include <cstdlib>
#include <utility>

#include "platform/files.h"
#include "platform/mouse_keys.h"
#include "platform/profile.h"
#include "pointer/cursor_emulation.h"

namespace {

constexpr char kSection[] = "HeldButtons";

std::string ButtonNames(unsigned held) {
  if (held == (kHeldLeft | kHeldRight)) return "left and right buttons";
  return (held & kHeldLeft) != 0 ? "left button" : "right button";
}

}  // namespace

HeldButtonsFile::HeldButtonsFile(std::string path, std::uint32_t processId,
                                 ProcessCheck isRunning)
    : path_(std::move(path)), processId_(processId), isRunning_(std::move(isRunning)) {}

std::optional<std::string> HeldButtonsFile::ReleaseLeftOver(MouseAndKeys& input) {
  if (!platform::PathExists(path_)) return std::nullopt;
  const unsigned long holder =
      std::strtoul(platform::ProfileReadString(path_, kSection, "Process", "0", 16).c_str(),
                   nullptr, 10);
  const auto process = static_cast<std::uint32_t>(holder);
  // A holder that runs is another copy's business; our own id is an old
  // one that the system gave again.
  if (process != processId_ && isRunning_(process)) return std::nullopt;
  const int buttons = platform::ProfileReadInt(path_, kSection, "Buttons", 0);
  const unsigned held = static_cast<unsigned>(buttons) & (kHeldLeft | kHeldRight);
  static_cast<void>(platform::RemoveFile(path_));
  if (held == 0) return std::nullopt;
  const std::uint32_t flags = ((held & kHeldLeft) != 0 ? platform::kMouseLeftUp : 0u) |
                              ((held & kHeldRight) != 0 ? platform::kMouseRightUp : 0u);
  const bool sent = input.SendMouseEvent(flags, 0, 0);  // no move: they go up where the cursor is
  const std::string what = "TVXHandvane process " + std::to_string(process) +
                           " ended holding the mouse's " + ButtonNames(held) + " down; ";
  return what + (sent ? "released now." : "no display took their release.");
}

void HeldButtonsFile::Record(unsigned held) {
  if (held == recorded_) return;
  if (held == 0) {
    if (platform::RemoveFile(path_) || !platform::PathExists(path_)) recorded_ = held;
    return;
  }
  const std::string text = "[HeldButtons]\nProcess=" + std::to_string(processId_) +
                           "\nButtons=" + std::to_string(held) + "\n";
  // Written beside it and renamed over it, so that a crash at any moment
  // leaves one whole record. Not written: the next change tries again; a
  // crash meanwhile leaves the buttons as before, nothing worse.
  const std::string fresh = path_ + ".new";
  if (platform::WritePrivateFile(fresh, text) && platform::RenameReplacing(fresh, path_)) {
    recorded_ = held;
  }
}
