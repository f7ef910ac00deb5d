// The mouse buttons this program holds down, kept in a file beside the
// diagnostic log with the process's id. A program that dies (killed, or a
// crash) cannot let go of them; the next start finds the file of a process
// that is gone and releases them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "pointer/mouse_and_keys.h"

class HeldButtonsFile {
 public:
  using ProcessCheck = std::function<bool(std::uint32_t)>;

  // processId: this program's; isRunning: whether a process with an id runs.
  HeldButtonsFile(std::string path, std::uint32_t processId, ProcessCheck isRunning);

  // At start: the buttons a process that is gone left held go up through
  // input, and the file goes. The text to log and show, once; none when
  // there was nothing to release or its process still runs.
  std::optional<std::string> ReleaseLeftOver(MouseAndKeys& input);

  // held: kHeldLeft and kHeldRight. Writes the file only when the set
  // changed, and removes it once nothing is held. From the one thread that
  // presses and releases (the cursor's), as it does, never from a report's
  // path: a button pressed just before a crash is in the file.
  void Record(unsigned held);

 private:
  std::string path_;
  std::uint32_t processId_;
  ProcessCheck isRunning_;
  unsigned recorded_ = 0;
};
