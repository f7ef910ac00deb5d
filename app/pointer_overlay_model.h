// The pointer overlay without its window: which dots a screen shows for the
// pointers' last reports at a given time (OverlayCanvas paints them). Each
// dot sits where its pointer points on the overlay's screen, with its number on it;
// a pointer silent for more than kSilenceMs is faded, one silent for more
// than kOverlayLeaveMs is gone. The Qt window and the Win32 layered window
// only put the canvas's changed rectangles on the screen.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/pointer_limits.h"
#include "pointer/pointer_protocol.h"

// A pointer silent for longer than this leaves the overlay.
inline constexpr std::uint32_t kOverlayLeaveMs = 5000;
// The overlay draws at most one frame in this many ms, whatever the display's
// rate: 30 frames a second move the dots smoothly, and every frame costs the
// window system a new shape and image, a frame at 60 Hz twice as much.
inline constexpr int kOverlayMinFrameMs = 33;

// Pixels; right and bottom are one past the last pixel.
struct OverlayRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const OverlayRect&) const = default;
};

OverlayRect Intersection(const OverlayRect& a, const OverlayRect& b);
OverlayRect Union(const OverlayRect& a, const OverlayRect& b);  // an empty one counts as none

struct OverlayDot {
  int pointer = 0;
  int x = 0;  // the centre on the screen, in pixels
  int y = 0;
  bool faded = false;
  bool buttonL = false;
  bool buttonR = false;
  bool selected = false;
  bool twoPhones = false;
  // The name's plate beside the dot (none: 0 by 0); the stamp tells one
  // picture of it from the next.
  int labelWidth = 0;
  int labelHeight = 0;
  std::uint32_t labelStamp = 0;

  bool operator==(const OverlayDot&) const = default;
};

// A pointer's name as the overlay shows it beside the dot: a plate with the
// name on it, drawn once for each name by the window system's fonts (which
// know every script), as premultiplied 0xAARRGGBB pixels.
struct OverlayLabel {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  bool opaque = false;  // found by OverlayLabels::Set: such a plate is copied, not blended
};

// A label's height on a screen whose dots have that radius: the plate is
// the height of the dot's number and a little more, and no wider than this.
inline int OverlayLabelHeight(int radius) { return radius + radius / 2; }
inline int OverlayLabelMaxWidth(int radius) { return 10 * OverlayLabelHeight(radius); }

// Every pointer's label, set on the overlay's thread as names come and go.
class OverlayLabels {
 public:
  // An empty label: none.
  void Set(int pointer, OverlayLabel label);
  const OverlayLabel& Of(int pointer) const { return labels_[static_cast<std::size_t>(pointer)]; }
  std::uint32_t Stamp(int pointer) const { return stamps_[static_cast<std::size_t>(pointer)]; }

 private:
  std::array<OverlayLabel, kPointerCount> labels_{};
  std::array<std::uint32_t, kPointerCount> stamps_{};
  std::uint32_t next_ = 0;
};

// What the overlay shows at one moment: the dots in drawing order (the
// selected pointer last, on top).
struct OverlayFrame {
  OverlayRect screen;
  int radius = 0;
  int count = 0;
  std::array<OverlayDot, kPointerCount> dots{};

  bool operator==(const OverlayFrame& other) const;
};

// A dot's radius on a screen of that height: its diameter is 2.5 % of it.
int OverlayDotRadius(int screenHeight);
// The screen pixel that a pointer's 0 to 65535 falls on.
int OverlayPixel(int position, int low, int length);

// The dots for the sightings at tick now, with their labels' plates if any.
void BuildOverlayFrame(const PointerSightings& sightings, std::uint32_t now, int selectedPointer,
                       const OverlayRect& screen, OverlayFrame& frame,
                       const OverlayLabels* labels = nullptr);

// The pixels a dot of that radius may touch, marks and label included.
OverlayRect DotBounds(const OverlayDot& dot, int radius);
// Where the dot's label lies: right of the dot, centred on its height.
OverlayRect LabelBounds(const OverlayDot& dot, int radius);

// The squares of the discs a dot is drawn within: its own (with the
// selection's ring), the ring of its held buttons (only the held button's
// half of it is drawn; empty with none held) and the two-phones badge (empty
// without it). A window that cannot show transparency takes their ellipses
// as its shape.
struct OverlayDotShape {
  OverlayRect dot;
  OverlayRect buttons;
  OverlayRect badge;
  OverlayRect label;  // a rectangle, empty without a name
};
OverlayDotShape DotShape(const OverlayDot& dot, int radius);

// A dot's fill: a palette of clearly distinct colours, as 0xRRGGBB; the
// number on it tells pointers of one colour apart.
std::uint32_t DotColour(int pointer);
