#include "platform/mouse_keys.h"

#include <windows.h>

namespace platform {
namespace {

bool IsKeyHeld(int virtualKey) {
  return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace

const char* MouseEmulationLimit() {
  return nullptr;
}

// Windows always has an input desktop for the interactive program.
bool MouseEmulationAvailable() {
  return true;
}

// mouse_event reports nothing back.
Result SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  mouse_event(flags, static_cast<DWORD>(x), static_cast<DWORD>(y), 0, 0);
  return Result();
}

// Windows takes synthetic input from any thread of the program: no connection.
struct MouseEventSender::Connection {};

MouseEventSender::MouseEventSender() = default;
MouseEventSender::~MouseEventSender() = default;

Result MouseEventSender::Send(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  return SendMouseEvent(flags, x, y);
}

bool IsCtrlHeld() {
  return IsKeyHeld(VK_CONTROL);
}
bool IsShiftHeld() {
  return IsKeyHeld(VK_SHIFT);
}

}  // namespace platform
