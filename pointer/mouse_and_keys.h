// The synthetic mouse and the modifier keys as cursor emulation uses them;
// tests put a fake in place of the system's. The dialog's thread asks for the
// keys and whether emulation is available; the emulation's own thread sends
// the mouse events.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/mouse_keys.h"
#include "platform/screen.h"

class MouseAndKeys {
 public:
  virtual ~MouseAndKeys() = default;

  virtual bool IsAvailable() = 0;
  virtual bool IsCtrlHeld() = 0;
  virtual bool IsShiftHeld() = 0;
  // Null, or why the events reach only part of the desktop.
  virtual const char* EmulationLimit() { return nullptr; }
  // The desktop's monitors (platform::ListMonitors), and the part of it
  // that absolute events cover (none: the primary screen).
  virtual std::vector<platform::Monitor> Monitors() { return {}; }
  virtual void SetCursorArea(const std::optional<platform::ScreenRect>& /*area*/) {}
  // flags as platform::kMouse*; absolute x and y in 0 to 65535. Called on
  // the emulation's thread while the dialog's thread may ask for the keys.
  // False when the event could not be sent (no display, or its connection broke).
  virtual bool SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) = 0;
};

class SystemMouseAndKeys final : public MouseAndKeys {
 public:
  bool IsAvailable() override { return platform::MouseEmulationAvailable(); }
  bool IsCtrlHeld() override { return platform::IsCtrlHeld(); }
  bool IsShiftHeld() override { return platform::IsShiftHeld(); }
  const char* EmulationLimit() override { return platform::MouseEmulationLimit(); }
  std::vector<platform::Monitor> Monitors() override { return platform::ListMonitors(); }
  void SetCursorArea(const std::optional<platform::ScreenRect>& area) override {
    platform::SetMouseArea(area);
  }
  bool SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) override {
    return static_cast<bool>(events_.Send(flags, x, y));
  }

 private:
  platform::MouseEventSender events_;  // a connection apart from the keys'
};
