// The Windows backend of cursor emulation. Synthetic input would move and
// click the cursor of whoever sits at a real desktop, so this runs under wine
// only, whose desktop nobody uses.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/mouse_keys.h"
#include "platform/screen.h"

namespace {

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

POINT CursorPosition() {
  POINT position{};
  GetCursorPos(&position);
  return position;
}

bool IsDown(int virtualKey) {
  return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

void PressKey(BYTE virtualKey, bool down) {
  keybd_event(virtualKey, 0, down ? 0 : KEYEVENTF_KEYUP, 0);
}

TEST(MouseKeysWinTest, MovesClicksAndReadsModifiers) {
  if (!RunsUnderWine()) GTEST_SKIP() << "would take over the desktop's cursor";
  ASSERT_TRUE(platform::MouseEmulationAvailable());
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);

  EXPECT_TRUE(
      platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 65535, 65535));
  EXPECT_EQ(CursorPosition().x, width - 1);
  EXPECT_EQ(CursorPosition().y, height - 1);
  EXPECT_TRUE(platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 0, 0));
  EXPECT_EQ(CursorPosition().x, 0);
  EXPECT_EQ(CursorPosition().y, 0);

  EXPECT_TRUE(platform::SendMouseEvent(0x800B, 0, 0));  // move, left down, right down
  EXPECT_TRUE(IsDown(VK_LBUTTON));
  EXPECT_TRUE(IsDown(VK_RBUTTON));
  EXPECT_TRUE(platform::SendMouseEvent(0x8015, 0, 0));  // move, left up, right up
  EXPECT_FALSE(IsDown(VK_LBUTTON));
  EXPECT_FALSE(IsDown(VK_RBUTTON));

  EXPECT_FALSE(platform::IsCtrlHeld());
  EXPECT_FALSE(platform::IsShiftHeld());
  PressKey(VK_RCONTROL, true);
  PressKey(VK_LSHIFT, true);
  EXPECT_TRUE(platform::IsCtrlHeld());
  EXPECT_TRUE(platform::IsShiftHeld());
  PressKey(VK_RCONTROL, false);
  PressKey(VK_LSHIFT, false);
  EXPECT_FALSE(platform::IsCtrlHeld());
  EXPECT_FALSE(platform::IsShiftHeld());
  EXPECT_EQ(platform::MouseEmulationLimit(), nullptr);  // every window takes the input
}

// On every monitor of wine's desktop, 0 and 65535 land on the area's first and last pixel.
TEST(MouseKeysWinTest, AnAreaOfTheDesktopTakesThePadsWholeRange) {
  if (!RunsUnderWine()) GTEST_SKIP() << "would take over the desktop's cursor";
  const std::vector<platform::Monitor> monitors = platform::ListMonitors();
  ASSERT_FALSE(monitors.empty());
  for (const platform::Monitor& monitor : monitors) {
    const platform::ScreenRect& r = monitor.area;
    platform::SetMouseArea(r);
    EXPECT_TRUE(platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 0, 0));
    EXPECT_EQ(CursorPosition().x, r.x);
    EXPECT_EQ(CursorPosition().y, r.y);
    EXPECT_TRUE(
        platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 65535, 65535));
    EXPECT_EQ(CursorPosition().x, r.x + r.width - 1);
    EXPECT_EQ(CursorPosition().y, r.y + r.height - 1);
  }
  platform::SetMouseArea(std::nullopt);
}

}  // namespace
