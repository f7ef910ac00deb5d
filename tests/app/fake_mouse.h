// Cursor emulation without a display: the dialog's tests set what it reports.
#pragma once

#include <cstdint>

#include "pointer/mouse_and_keys.h"

class FakeMouse : public MouseAndKeys {
 public:
  bool available = false;
  bool IsAvailable() override { return available; }
  bool IsCtrlHeld() override { return false; }
  bool IsShiftHeld() override { return false; }
  void SendMouseEvent(std::uint32_t, std::int32_t, std::int32_t) override {}
};
