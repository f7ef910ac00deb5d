// The size of the primary screen, for the start-up log line, and the
// monitors of the desktop, for the part of it that cursor emulation covers.
#pragma once

#include <optional>
#include <vector>

namespace platform {

// False (and 0 x 0) when the size is not known without a window system
// connection of our own.
bool PrimaryScreenSize(int& width, int& height);

// A rectangle of the desktop in pixels; x and y may be negative on Windows
// (a monitor left of or above the primary).
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};

struct Monitor {
  ScreenRect area;
  bool primary = false;
};

// The monitors in the window system's order; empty while that is not known.
// On Linux they come over the connection the keys are read on (Xinerama's
// screens; the whole root window without it), so the list is empty until it
// is ready and never waits for it.
std::vector<Monitor> ListMonitors();

// Where absolute mouse events (mouse_keys.h) land: 0 to kMouseAbsoluteMax
// across this rectangle of the desktop; none: the primary screen. Taken by
// every event sent after the call, on any thread.
void SetMouseArea(const std::optional<ScreenRect>& area);
std::optional<ScreenRect> MouseArea();

}  // namespace platform
