#include "platform/mouse_keys.h"

#include <windows.h>

namespace platform {
namespace {

bool IsKeyHeld(int virtualKey) {
  return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace

// Windows always has an input desktop for the interactive program.
bool MouseEmulationAvailable() {
  return true;
}

// mouse_event reports nothing back.
Result SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  mouse_event(flags, static_cast<DWORD>(x), static_cast<DWORD>(y), 0, 0);
  return Result();
}

bool IsCtrlHeld() {
  return IsKeyHeld(VK_CONTROL);
}
bool IsShiftHeld() {
  return IsKeyHeld(VK_SHIFT);
}

}  // namespace platform
