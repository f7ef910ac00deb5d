#include "pointer/cursor_emulation.h"

namespace {

std::uint32_t ButtonChange(std::int32_t previous, std::int32_t current, std::uint32_t downFlag,
                           std::uint32_t upFlag) {
  const bool wasDown = previous != 0;
  const bool isDown = current != 0;
  if (!wasDown && isDown) return downFlag;
  if (wasDown && !isDown) return upFlag;
  return 0;
}

}  // namespace

std::uint32_t CursorEmulationFlags(std::int32_t previousButtonL, std::int32_t previousButtonR,
                                   std::int32_t buttonL, std::int32_t buttonR) {
  return platform::kMouseAbsolute | platform::kMouseMove |
         ButtonChange(previousButtonL, buttonL, platform::kMouseLeftDown, platform::kMouseLeftUp) |
         ButtonChange(previousButtonR, buttonR, platform::kMouseRightDown, platform::kMouseRightUp);
}

void CursorEmulation::Step(const LiveStatus& status, MouseAndKeys& input) {
  const std::uint32_t flags =
      CursorEmulationFlags(previousButtonL_, previousButtonR_, status.buttonL, status.buttonR);
  input.SendMouseEvent(flags, status.x, status.y);
  previousButtonL_ = status.buttonL;
  previousButtonR_ = status.buttonR;
}
