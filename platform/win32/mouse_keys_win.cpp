#include "platform/mouse_keys.h"

#include <windows.h>

#include <algorithm>

#include "platform/screen.h"

namespace platform {
namespace {

bool IsKeyHeld(int virtualKey) {
  return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

// The centre of the pixel at offset from the virtual desktop's edge, in its
// 0 to 65535 scale (Windows takes the pixel as value * size / 65536).
DWORD ToVirtualDesk(long long offset, int size) {
  return static_cast<DWORD>(
      std::clamp<long long>((2 * offset + 1) * 65536 / (2LL * size), 0, 65535));
}

long long ScaleToPixels(std::int32_t absolute, int size) {
  const long long clamped = std::clamp<std::int32_t>(absolute, 0, kMouseAbsoluteMax);
  return clamped * (size - 1) / kMouseAbsoluteMax;
}

}  // namespace

const char* MouseEmulationLimit() {
  return nullptr;
}

// Windows always has an input desktop for the interactive program.
bool MouseEmulationAvailable() {
  return true;
}

// mouse_event reports nothing back. An area of the desktop takes the
// virtual-desktop form of absolute input.
Result SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  const std::optional<ScreenRect> area = MouseArea();
  const int desktopWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int desktopHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (area && (flags & kMouseAbsolute) && (flags & kMouseMove) && desktopWidth > 0 &&
      desktopHeight > 0) {
    const long long px = area->x + ScaleToPixels(x, area->width);
    const long long py = area->y + ScaleToPixels(y, area->height);
    mouse_event(flags | MOUSEEVENTF_VIRTUALDESK,
                ToVirtualDesk(px - GetSystemMetrics(SM_XVIRTUALSCREEN), desktopWidth),
                ToVirtualDesk(py - GetSystemMetrics(SM_YVIRTUALSCREEN), desktopHeight), 0, 0);
    return Result();
  }
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
