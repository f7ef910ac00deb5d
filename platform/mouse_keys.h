// Synthetic mouse input and the state of the modifier keys, for cursor emulation.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/result.h"

namespace platform {

// Flags of one synthetic mouse event, as the Windows mouse input interface has them.
inline constexpr std::uint32_t kMouseMove = 0x0001;
inline constexpr std::uint32_t kMouseLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseLeftUp = 0x0004;
inline constexpr std::uint32_t kMouseRightDown = 0x0008;
inline constexpr std::uint32_t kMouseRightUp = 0x0010;
inline constexpr std::uint32_t kMouseAbsolute = 0x8000;

// Absolute coordinates run from 0 (left, top) to this value (right, bottom edge
// of the primary screen).
inline constexpr std::int32_t kMouseAbsoluteMax = 65535;

// False when synthetic input cannot reach a screen. On Linux that is the X
// display named by $DISPLAY with the XTest extension. None of these functions
// waits for it: the first call starts connecting on a thread of its own and
// they answer as without a display until the connection is ready. A display
// that cannot be reached, or goes away, is tried again every few seconds.
bool MouseEmulationAvailable();

// Why synthetic input reaches only part of the desktop, or null when it
// reaches all of it. On Linux under Wayland it moves the cursor only over X
// applications.
const char* MouseEmulationLimit();

// Sends one event: the move first, then the button changes in flag order.
// With kMouseAbsolute, x and y are in 0 to kMouseAbsoluteMax; without it they
// are a relative move in pixels. Fails when emulation is not available.
Result SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y);

// Whether either Ctrl key, or either Shift key, is down at the moment of the query.
bool IsCtrlHeld();
bool IsShiftHeld();

// Synthetic mouse events over a connection of their own, for a thread that
// sends them while another thread asks for the keys above (cursor emulation
// has a thread of its own). On Linux it is a second connection to the
// display, made in the background from construction on like the one above;
// events sent before it is ready fail. Send from one thread at a time.
class MouseEventSender {
 public:
  MouseEventSender();
  ~MouseEventSender();
  MouseEventSender(const MouseEventSender&) = delete;
  MouseEventSender& operator=(const MouseEventSender&) = delete;

  // As SendMouseEvent.
  Result Send(std::uint32_t flags, std::int32_t x, std::int32_t y);

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

}  // namespace platform
