// The pointer overlay without its window: which dots a screen shows for the
// pointers' last reports at a given time, and their pixels. Each dot sits
// where its pointer points on the overlay's screen, with its number on it;
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

// The overlay's pixels, one per screen pixel, as premultiplied 0xAARRGGBB
// (the layout of a Qt ARGB32_Premultiplied image and of a 32-bit Windows
// DIB alike). Paint redraws only the rectangles where the frame differs from
// the last one painted. Once the canvas has its size, painting allocates only
// when a dot changes its look.
class OverlayCanvas {
 public:
  // Room for every dot's old and new place and the pieces between them;
  // past it, the union of all changes is redrawn as one.
  static constexpr int kMaxChanged = 4 * kPointerCount;
  struct Changes {
    int count = 0;
    std::array<OverlayRect, kMaxChanged> rects{};  // in canvas pixels, none overlapping
    OverlayRect bounds;                            // their union
  };

  // Paints frame; changes: where the pixels differ from before. A frame
  // whose screen differs in size from the canvas's starts it afresh.
  void Paint(const OverlayFrame& frame, Changes& changes);
  // The labels the frames' dots name; null: none. They outlive the canvas.
  void SetLabels(const OverlayLabels* labels) { labels_ = labels; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::uint32_t* Pixels() const { return pixels_.data(); }
  std::uint32_t Pixel(int x, int y) const {
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
  }

 private:
  struct Sprite {
    OverlayDot look;  // position left out
    int radius = 0;
    int extent = 0;  // pixels from the centre to the sprite's edge
    std::vector<std::uint32_t> pixels;
    // For each row: from its first pixel that shows to one past its last,
    // and within that its longest run of opaque pixels. Most of the square
    // around a disc is clear, and most of the disc opaque.
    struct Row {
      int first = 0;
      int solidFirst = 0;
      int solidLast = 0;
      int last = 0;
    };
    std::vector<Row> rows;
  };

  const Sprite& SpriteFor(const OverlayDot& dot, int radius);
  void Redraw(const OverlayFrame& frame, const Changes& changes);
  void Clear(const OverlayRect& rect);
  // The sprite whose square lies at square, over the pixels of clip.
  void CompositeSprite(const Sprite& sprite, const OverlayRect& square, const OverlayRect& clip);
  void NoteChange(const OverlayRect& rect, Changes& changes);

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
  OverlayFrame painted_;
  // Each pointer's last two looks: a student who clicks toggles between them.
  std::array<std::array<Sprite, 2>, kPointerCount> sprites_{};
  const OverlayLabels* labels_ = nullptr;
  // Parts of a changed rectangle that NoteChange has yet to place; past
  // these, the union of all changes is redrawn as one.
  static constexpr int kMaxPendingParts = 32;
  std::array<OverlayRect, kMaxPendingParts> pending_{};
};
