// Moves the system cursor to the selected pointer and presses or releases the
// mouse buttons as the pointer's buttons changed since the previous step.
#pragma once

#include <cstdint>

#include "pointer/live_status.h"
#include "pointer/mouse_and_keys.h"

// Flags of the one absolute mouse event that moves to the pointer and carries
// the button changes from the previous states to the current ones.
std::uint32_t CursorEmulationFlags(std::int32_t previousButtonL, std::int32_t previousButtonR,
                                   std::int32_t buttonL, std::int32_t buttonR);

class CursorEmulation {
 public:
  // Sends one event, also when nothing changed, so that the cursor is put back
  // on the pointer's position every time.
  void Step(const LiveStatus& status, MouseAndKeys& input);

 private:
  // The button states the system was last given. They outlive any pause of
  // the emulation, so no release is sent when it is switched off.
  std::int32_t previousButtonL_ = 0;
  std::int32_t previousButtonR_ = 0;
};
