#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace platform {
namespace {

bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

// A window program starts without a console. Handles its parent handed over
// (pipes, files) stay as they are; a missing one comes from the parent's
// console, or from a console of its own when started from the desktop.
void OpenConsole() {
  const bool hasInput = IsUsable(GetStdHandle(STD_INPUT_HANDLE));
  const bool hasOutput = IsUsable(GetStdHandle(STD_OUTPUT_HANDLE));
  if (hasInput && hasOutput) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) return;
  if (!hasOutput) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
  if (!hasInput) std::freopen("CONIN$", "r", stdin);
}

}  // namespace platform
