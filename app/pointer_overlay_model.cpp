#include "app/pointer_overlay_model.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace {

// Distinct at a glance on light and dark desktops alike; a dark edge sets
// each dot off from what lies below.
constexpr std::uint32_t kPalette[] = {
    0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231, 0x911EB4, 0x42D4F4, 0xF032E6,
    0xBFEF45, 0xFABED4, 0x469990, 0x9A6324, 0x800000, 0x808000, 0x000075, 0xA9A9A9,
};
constexpr int kPaletteSize = static_cast<int>(std::size(kPalette));

// Digits of 5 by 7 cells, one row per byte, the leftmost cell in bit 4.
constexpr std::uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

constexpr float kFadedOpacity = 0.4f;

struct Colour {
  float r = 0, g = 0, b = 0, a = 0;  // premultiplied, 0 to 1
};

Colour Opaque(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255, static_cast<float>((rgb >> 8) & 0xFF) / 255,
          static_cast<float>(rgb & 0xFF) / 255, 1};
}

const Colour kBlack = Opaque(0x000000);
const Colour kWhite = Opaque(0xFFFFFF);

// src over dst, src at coverage.
void Over(Colour& dst, const Colour& src, float coverage) {
  if (coverage <= 0) return;
  const float k = std::min(coverage, 1.0f);
  const float keep = 1 - src.a * k;
  dst = {src.r * k + dst.r * keep, src.g * k + dst.g * keep, src.b * k + dst.b * keep,
         src.a * k + dst.a * keep};
}

// How much of the pixel at distance d from a centre a disc of radius r covers.
float Disc(float d, float r) {
  return std::clamp(r - d + 0.5f, 0.0f, 1.0f);
}

std::uint32_t Pack(const Colour& c, float opacity) {
  const auto channel = [opacity](float v) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(v * opacity, 0.0f, 1.0f) * 255));
  };
  return channel(c.a) << 24 | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

bool IsLight(std::uint32_t rgb) {
  const int r = static_cast<int>((rgb >> 16) & 0xFF);
  const int g = static_cast<int>((rgb >> 8) & 0xFF);
  const int b = static_cast<int>(rgb & 0xFF);
  return 299 * r + 587 * g + 114 * b > 150000;
}

// The rings around the fill, outward: the dark edge, the held buttons (the
// left half of a white ring for L, the right half for R) and, for the
// selected pointer, a ring of alternating white and black segments.
struct DotLayout {
  float fill = 0;
  float edge = 0;
  float buttonsOuter = 0;
  float selectionInner = 0;
  float selectionOuter = 0;
  float badgeOffset = 0;  // the two-phones badge's centre, up and to the right
  float badge = 0;
  int digitScale = 1;
  int extent = 0;
};

DotLayout LayoutFor(int radius) {
  DotLayout layout;
  const float r = static_cast<float>(radius);
  layout.fill = r;
  layout.edge = r + std::max(1.5f, r / 10);
  layout.buttonsOuter = layout.edge + std::max(3.0f, r / 3);
  layout.selectionInner = layout.buttonsOuter + 1;
  layout.selectionOuter = layout.selectionInner + std::max(3.0f, r / 4);
  layout.badge = std::max(5.0f, r / 2);
  layout.badgeOffset = r * 0.8f;
  layout.digitScale = std::max(1, (radius + 3) / 8);
  const float badgeReach = layout.badgeOffset * 1.4143f + layout.badge + 1;
  layout.extent = static_cast<int>(std::ceil(std::max(layout.selectionOuter + 1, badgeReach)));
  return layout;
}

// Cells of the digits of number, centred on (0, 0) at scale pixels a cell,
// one cell apart: true where the pixel at (x, y) is ink.
bool NumberInk(int number, int scale, int x, int y) {
  int digits[2];
  int count = 0;
  if (number >= 10) digits[count++] = number / 10 % 10;
  digits[count++] = number % 10;
  const int width = (count * 6 - 1) * scale;
  const int height = 7 * scale;
  const int left = -width / 2;
  const int top = -height / 2;
  if (x < left || x >= left + width || y < top || y >= top + height) return false;
  const int column = (x - left) / scale;
  const int row = (y - top) / scale;
  if (column % 6 == 5) return false;
  const int digit = digits[column / 6];
  return (kDigits[digit][row] >> (4 - column % 6)) & 1;
}

// Cells of the digit 2 for the badge, one pixel a cell.
bool BadgeInk(int x, int y) {
  if (x < -2 || x > 2 || y < -3 || y > 3) return false;
  return (kDigits[2][y + 3] >> (2 - x)) & 1;
}

bool Intersects(const OverlayRect& a, const OverlayRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom &&
         !a.IsEmpty() && !b.IsEmpty();
}

bool Contains(const OverlayRect& outer, const OverlayRect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

std::int64_t Area(const OverlayRect& rect) {
  return rect.IsEmpty() ? 0 : static_cast<std::int64_t>(rect.Width()) * rect.Height();
}

// Two overlapping rectangles are best redrawn as one when their union covers
// no more besides them than the smaller of the two: the dots of a crowd that
// moves together become one, while a big rectangle cannot grow by swallowing
// small ones that stick far out of it.
bool MergingIsCheap(const OverlayRect& a, const OverlayRect& b) {
  const std::int64_t waste = Area(Union(a, b)) - Area(a) - Area(b) + Area(Intersection(a, b));
  return waste <= std::min(Area(a), Area(b));
}

// The parts of rect that cut, which overlaps it, leaves uncovered, into
// parts: the bands above and below it across rect's width, then the pieces
// left and right of it. Returns how many (at most four).
int Subtract(const OverlayRect& rect, const OverlayRect& cut, OverlayRect* parts) {
  int count = 0;
  if (rect.top < cut.top) parts[count++] = {rect.left, rect.top, rect.right, cut.top};
  if (cut.bottom < rect.bottom) parts[count++] = {rect.left, cut.bottom, rect.right, rect.bottom};
  const int top = std::max(rect.top, cut.top);
  const int bottom = std::min(rect.bottom, cut.bottom);
  if (rect.left < cut.left) parts[count++] = {rect.left, top, cut.left, bottom};
  if (cut.right < rect.right) parts[count++] = {cut.right, top, rect.right, bottom};
  return count;
}

// One rectangle over every change so far: where they are too many to list.
void CoverAll(OverlayCanvas::Changes& changes) {
  changes.count = 1;
  changes.rects[0] = changes.bounds;
}

// An opacity that says every source pixel is opaque.
constexpr std::uint32_t kOpaqueSource = 256;

// Premultiplied src over dst for count pixels; opacity 0 to 255 scales the
// source.
void BlendRow(const std::uint32_t* from, std::uint32_t* dst, int count, std::uint32_t opacity) {
  for (int x = 0; x < count; ++x, ++from, ++dst) {
    std::uint32_t s = *from;
    if (opacity != 255 && s != 0) {
      std::uint32_t scaled = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        scaled |= (((s >> shift) & 0xFF) * opacity + 127) / 255 << shift;
      }
      s = scaled;
    }
    const std::uint32_t alpha = s >> 24;
    if (alpha == 0) continue;
    if (alpha == 255 || *dst == 0) {
      *dst = s;
      continue;
    }
    // Premultiplied source over destination, channel by channel.
    const std::uint32_t keep = 255 - alpha;
    const std::uint32_t d = *dst;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const std::uint32_t value =
          ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * keep + 127) / 255;
      out |= std::min<std::uint32_t>(value, 255) << shift;
    }
    *dst = out;
  }
}

// src over dst for the pixels of clip, src laid out as the rectangle from
// (srcLeft, srcTop) with srcStride pixels a row; opacity 0 to 255 scales
// the source, kOpaqueSource copies it.
void Composite(const std::uint32_t* src, int srcStride, int srcLeft, int srcTop,
               const OverlayRect& clip, std::uint32_t* pixels, std::size_t stride,
               std::uint32_t opacity) {
  if (clip.IsEmpty()) return;
  for (int y = clip.top; y < clip.bottom; ++y) {
    const std::uint32_t* from = src + (y - srcTop) * srcStride + (clip.left - srcLeft);
    std::uint32_t* dst = pixels + static_cast<std::size_t>(y) * stride + clip.left;
    if (opacity == kOpaqueSource) {
      std::copy_n(from, clip.Width(), dst);  // a plate opaque through and through
    } else {
      BlendRow(from, dst, clip.Width(), opacity);
    }
  }
}

OverlayRect ToCanvas(const OverlayRect& rect, const OverlayRect& screen) {
  return {rect.left - screen.left, rect.top - screen.top, rect.right - screen.left,
          rect.bottom - screen.top};
}

// The square of the dot's picture, marks and badge included.
OverlayRect DiscBounds(const OverlayDot& dot, int radius) {
  const int extent = LayoutFor(radius).extent;
  return {dot.x - extent, dot.y - extent, dot.x + extent + 1, dot.y + extent + 1};
}

}  // namespace

OverlayRect Intersection(const OverlayRect& a, const OverlayRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

OverlayRect Union(const OverlayRect& a, const OverlayRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

bool OverlayFrame::operator==(const OverlayFrame& other) const {
  return screen == other.screen && radius == other.radius && count == other.count &&
         std::equal(dots.begin(), dots.begin() + count, other.dots.begin());
}

int OverlayDotRadius(int screenHeight) {
  return std::max(6, static_cast<int>(std::lround(screenHeight * 0.0125)));
}

int OverlayPixel(int position, int low, int length) {
  const std::int64_t clamped = std::clamp(position, 0, 65535);
  return low + static_cast<int>(clamped * length / 65536);
}

void BuildOverlayFrame(const PointerSightings& sightings, std::uint32_t now, int selectedPointer,
                       const OverlayRect& screen, OverlayFrame& frame,
                       const OverlayLabels* labels) {
  frame.screen = screen;
  frame.radius = OverlayDotRadius(screen.Height());
  frame.count = 0;
  const OverlayDot* selected = nullptr;
  OverlayDot selectedDot;
  for (int p = 0; p < kPointerCount; ++p) {
    const PointerSighting& sighting = sightings.pointers[static_cast<std::size_t>(p)];
    if (!sighting.reported) continue;
    // A report stamped after now was read is as fresh as can be.
    const std::int32_t age =
        std::max<std::int32_t>(0, static_cast<std::int32_t>(now - sighting.lastReportTick));
    if (age > static_cast<std::int32_t>(kOverlayLeaveMs)) continue;
    OverlayDot dot;
    dot.pointer = p;
    dot.x = OverlayPixel(sighting.status.x, screen.left, screen.Width());
    dot.y = OverlayPixel(sighting.status.y, screen.top, screen.Height());
    dot.faded = age > static_cast<std::int32_t>(kSilenceMs);
    dot.buttonL = sighting.status.buttonL != 0;
    dot.buttonR = sighting.status.buttonR != 0;
    dot.twoPhones = sighting.twoPhones;
    dot.selected = p == selectedPointer;
    if (labels != nullptr && labels->Stamp(p) != 0) {
      dot.labelWidth = labels->Of(p).width;
      dot.labelHeight = labels->Of(p).height;
      dot.labelStamp = labels->Stamp(p);
    }
    if (dot.selected) {
      selectedDot = dot;
      selected = &selectedDot;
    } else {
      frame.dots[static_cast<std::size_t>(frame.count++)] = dot;
    }
  }
  if (selected != nullptr) frame.dots[static_cast<std::size_t>(frame.count++)] = *selected;
}

void OverlayLabels::Set(int pointer, OverlayLabel label) {
  if (pointer < 0 || pointer >= kPointerCount) return;
  const auto p = static_cast<std::size_t>(pointer);
  const bool fits = label.width > 0 && label.height > 0 &&
                    label.pixels.size() == static_cast<std::size_t>(label.width) *
                                               static_cast<std::size_t>(label.height);
  labels_[p] = fits ? std::move(label) : OverlayLabel{};
  stamps_[p] = fits ? ++next_ : 0;
  const std::vector<std::uint32_t>& pixels = labels_[p].pixels;
  labels_[p].opaque = std::all_of(pixels.begin(), pixels.end(),
                                  [](std::uint32_t pixel) { return pixel >> 24 == 0xFF; });
}

OverlayRect LabelBounds(const OverlayDot& dot, int radius) {
  if (dot.labelWidth <= 0 || dot.labelHeight <= 0) return {};
  const int left = dot.x + static_cast<int>(std::ceil(LayoutFor(radius).selectionOuter)) + 2;
  const int top = dot.y - dot.labelHeight / 2;
  return {left, top, left + dot.labelWidth, top + dot.labelHeight};
}

OverlayRect DotBounds(const OverlayDot& dot, int radius) {
  return Union(DiscBounds(dot, radius), LabelBounds(dot, radius));
}

OverlayDotShape DotShape(const OverlayDot& dot, int radius) {
  const DotLayout layout = LayoutFor(radius);
  const float outer = dot.selected ? layout.selectionOuter + 0.5f : layout.edge + 0.5f;
  const auto square = [](float cx, float cy, float r) {
    return OverlayRect{static_cast<int>(std::floor(cx - r)), static_cast<int>(std::floor(cy - r)),
                       static_cast<int>(std::ceil(cx + r)) + 1,
                       static_cast<int>(std::ceil(cy + r)) + 1};
  };
  const auto x = static_cast<float>(dot.x);
  const auto y = static_cast<float>(dot.y);
  OverlayDotShape shape;
  shape.dot = square(x, y, outer);
  if (dot.buttonL || dot.buttonR) shape.buttons = square(x, y, layout.buttonsOuter + 1.5f);
  if (dot.twoPhones) {
    shape.badge = square(static_cast<float>(dot.x) + layout.badgeOffset,
                         static_cast<float>(dot.y) - layout.badgeOffset, layout.badge + 1.5f);
  }
  shape.label = LabelBounds(dot, radius);
  return shape;
}

std::uint32_t DotColour(int pointer) {
  return kPalette[((pointer % kPaletteSize) + kPaletteSize) % kPaletteSize];
}

const OverlayCanvas::Sprite& OverlayCanvas::SpriteFor(const OverlayDot& dot, int radius) {
  std::array<Sprite, 2>& looks = sprites_[static_cast<std::size_t>(dot.pointer)];
  OverlayDot look = dot;
  look.x = look.y = 0;
  const auto matches = [&](const Sprite& sprite) {
    return sprite.radius == radius && sprite.look == look && !sprite.pixels.empty();
  };
  if (matches(looks[0])) return looks[0];
  std::swap(looks[0], looks[1]);  // the older look makes room, its buffers reused
  Sprite& sprite = looks[0];
  if (matches(sprite)) return sprite;

  const DotLayout layout = LayoutFor(radius);
  const int extent = layout.extent;
  const int side = 2 * extent + 1;
  sprite.look = look;
  sprite.radius = radius;
  sprite.extent = extent;
  sprite.pixels.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0);
  const std::uint32_t fillRgb = DotColour(dot.pointer);
  const Colour fill = Opaque(fillRgb);
  const Colour& ink = IsLight(fillRgb) ? kBlack : kWhite;
  for (int y = -extent; y <= extent; ++y) {
    for (int x = -extent; x <= extent; ++x) {
      const float d = std::hypot(static_cast<float>(x), static_cast<float>(y));
      Colour c;
      if (dot.selected) {
        // Eight segments, white and black by turns.
        const float turn = std::atan2(static_cast<float>(y), static_cast<float>(x));
        const int segment = static_cast<int>(std::floor((turn + 3.14159265f) / (3.14159265f / 4)));
        const float ring = Disc(d, layout.selectionOuter) - Disc(d, layout.selectionInner);
        Over(c, segment % 2 == 0 ? kWhite : kBlack, ring);
      }
      const bool held = (x < 0 && dot.buttonL) || (x >= 0 && dot.buttonR);
      if (held) {
        Over(c, kBlack, Disc(d, layout.buttonsOuter + 1) - Disc(d, layout.buttonsOuter));
        Over(c, kWhite, Disc(d, layout.buttonsOuter) - Disc(d, layout.edge));
      }
      Over(c, kBlack, Disc(d, layout.edge));
      Over(c, fill, Disc(d, layout.fill));
      if (NumberInk(dot.pointer, layout.digitScale, x, y)) Over(c, ink, 1);
      if (dot.twoPhones) {
        const float bx = static_cast<float>(x) - layout.badgeOffset;
        const float by = static_cast<float>(y) + layout.badgeOffset;
        const float bd = std::hypot(bx, by);
        Over(c, kBlack, Disc(bd, layout.badge + 1));
        Over(c, kWhite, Disc(bd, layout.badge));
        if (BadgeInk(static_cast<int>(std::lround(bx)), static_cast<int>(std::lround(by)))) {
          Over(c, kBlack, 1);
        }
      }
      sprite.pixels[static_cast<std::size_t>((y + extent) * side + (x + extent))] =
          Pack(c, dot.faded ? kFadedOpacity : 1.0f);
    }
  }
  sprite.rows.assign(static_cast<std::size_t>(side), {});
  for (int row = 0; row < side; ++row) {
    const std::uint32_t* pixels = sprite.pixels.data() + row * side;
    Sprite::Row& spans = sprite.rows[static_cast<std::size_t>(row)];
    spans.first = side;
    for (int x = 0, solidFrom = 0; x < side; ++x) {
      if (pixels[x] == 0) continue;
      spans.first = std::min(spans.first, x);
      spans.last = x + 1;
      if (pixels[x] >> 24 != 0xFF) continue;
      if (x == 0 || pixels[x - 1] >> 24 != 0xFF) solidFrom = x;
      if (x + 1 - solidFrom > spans.solidLast - spans.solidFirst) {
        spans.solidFirst = solidFrom;
        spans.solidLast = x + 1;
      }
    }
    if (spans.solidFirst == spans.solidLast) spans.solidFirst = spans.solidLast = spans.last;
  }
  return sprite;
}

void OverlayCanvas::Paint(const OverlayFrame& frame, Changes& changes) {
  changes.count = 0;
  changes.bounds = {};
  const int width = frame.screen.Width();
  const int height = frame.screen.Height();
  if (width != width_ || height != height_) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
    painted_ = OverlayFrame{};  // a new canvas is shown whole
  }
  if (frame == painted_) return;

  // A dot that moved, changed or went; the whole canvas when the screen moved
  // or the dots changed size.
  const OverlayRect whole{0, 0, width_, height_};
  if (!(frame.screen == painted_.screen) || frame.radius != painted_.radius) {
    NoteChange(whole, changes);
  } else {
    std::array<const OverlayDot*, kPointerCount> before{};
    std::array<const OverlayDot*, kPointerCount> after{};
    for (int i = 0; i < painted_.count; ++i) {
      const OverlayDot& dot = painted_.dots[static_cast<std::size_t>(i)];
      before[static_cast<std::size_t>(dot.pointer)] = &dot;
    }
    for (int i = 0; i < frame.count; ++i) {
      const OverlayDot& dot = frame.dots[static_cast<std::size_t>(i)];
      after[static_cast<std::size_t>(dot.pointer)] = &dot;
    }
    for (std::size_t p = 0; p < before.size(); ++p) {
      const OverlayDot* old = before[p];
      const OverlayDot* now = after[p];
      if (old == nullptr && now == nullptr) continue;
      if (old != nullptr && now != nullptr && *old == *now) continue;
      // A dot that moved a little is repainted once, over both places.
      OverlayRect rects[2];
      int count = 0;
      for (const OverlayDot* dot : {old, now}) {
        if (dot != nullptr) rects[count++] = ToCanvas(DotBounds(*dot, frame.radius), frame.screen);
      }
      if (count == 2 && Intersects(rects[0], rects[1]))
        rects[0] = Union(rects[0], rects[1]), count = 1;
      for (int i = 0; i < count; ++i) NoteChange(Intersection(rects[i], whole), changes);
    }
  }
  Redraw(frame, changes);
  painted_ = frame;
}

// Rectangles that overlap become one where their union covers little that
// neither does: the dots of a crowd that moves together are then redrawn and
// handed to the window system once, not once for each dot that reaches
// there. Where the union would be much bigger (plates that cross at an angle,
// a class spread over the screen), the new rectangle keeps only the parts the
// other leaves uncovered: merging those unions would cascade into the whole
// screen, cleared and composited anew every frame.
void OverlayCanvas::NoteChange(const OverlayRect& rect, Changes& changes) {
  if (rect.IsEmpty()) return;
  changes.bounds = Union(changes.bounds, rect);
  if (changes.count == 1 && changes.rects[0] == changes.bounds) return;  // all covered already

  // Parts not yet placed; each is disjoint from the rectangles it was cut from.
  std::array<OverlayRect, kMaxPendingParts>& pending = pending_;
  int waiting = 0;
  pending[waiting++] = rect;
  while (waiting > 0) {
    OverlayRect part = pending[--waiting];
    bool placed = false;
    for (int i = 0; i < changes.count && !placed;) {
      OverlayRect& other = changes.rects[static_cast<std::size_t>(i)];
      if (!Intersects(other, part)) {
        ++i;
        continue;
      }
      if (Contains(other, part)) {
        placed = true;  // nothing new
      } else if (MergingIsCheap(other, part)) {
        // The union may reach others that the parts did not: look again.
        part = Union(part, other);
        other = changes.rects[static_cast<std::size_t>(--changes.count)];
        i = 0;
      } else if (waiting + 4 > kMaxPendingParts) {
        waiting = 0;
        CoverAll(changes);
        placed = true;
      } else {
        waiting += Subtract(part, other, &pending[static_cast<std::size_t>(waiting)]);
        placed = true;
      }
    }
    if (placed) continue;
    if (changes.count == kMaxChanged) {
      waiting = 0;
      CoverAll(changes);
    } else {
      changes.rects[static_cast<std::size_t>(changes.count++)] = part;
    }
  }
}

// Each row's opaque run is copied, the pixels either side of it blended.
void OverlayCanvas::CompositeSprite(const Sprite& sprite, const OverlayRect& square,
                                    const OverlayRect& clip) {
  const int side = square.Width();
  const auto stride = static_cast<std::size_t>(width_);
  for (int y = clip.top; y < clip.bottom; ++y) {
    const Sprite::Row& spans = sprite.rows[static_cast<std::size_t>(y - square.top)];
    const std::uint32_t* source = sprite.pixels.data() + (y - square.top) * side;
    std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(y) * stride;
    // The sprite's columns from, to within clip, as canvas columns.
    const auto columns = [&](int from, int to) {
      return std::pair{std::max(square.left + from, clip.left),
                       std::min(square.left + to, clip.right)};
    };
    for (const auto& [from, to] :
         {columns(spans.first, spans.solidFirst), columns(spans.solidLast, spans.last)}) {
      if (from < to) BlendRow(source + (from - square.left), row + from, to - from, 255);
    }
    const auto [from, to] = columns(spans.solidFirst, spans.solidLast);
    if (from < to) std::copy_n(source + (from - square.left), to - from, row + from);
  }
}

void OverlayCanvas::Clear(const OverlayRect& rect) {
  const auto stride = static_cast<std::size_t>(width_);
  for (int y = rect.top; y < rect.bottom; ++y) {
    std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(y * stride + rect.left), rect.Width(),
                0u);
  }
}

// The changed rectangles in canvas pixels, one after the other (so that each
// is still in the cache while its dots go over it): cleared, then every dot
// that reaches into it composited over in drawing order.
void OverlayCanvas::Redraw(const OverlayFrame& frame, const Changes& changes) {
  struct Placed {
    OverlayRect bounds;
    OverlayRect disc;
    const Sprite* sprite = nullptr;
    OverlayRect label;
    const OverlayLabel* plate = nullptr;  // none without a name
    std::uint32_t plateOpacity = 255;
  };
  std::array<Placed, kPointerCount> placed;
  int count = 0;
  for (int i = 0; i < frame.count; ++i) {
    const OverlayDot& dot = frame.dots[static_cast<std::size_t>(i)];
    const OverlayRect bounds = ToCanvas(DotBounds(dot, frame.radius), frame.screen);
    if (!Intersects(bounds, changes.bounds)) continue;
    Placed& next = placed[static_cast<std::size_t>(count++)];
    next.bounds = bounds;
    next.sprite = &SpriteFor(dot, frame.radius);
    next.disc = ToCanvas(DiscBounds(dot, frame.radius), frame.screen);
    next.plate = nullptr;
    if (labels_ == nullptr || dot.labelStamp == 0 || labels_->Stamp(dot.pointer) != dot.labelStamp) {
      continue;
    }
    next.label = ToCanvas(LabelBounds(dot, frame.radius), frame.screen);
    next.plate = &labels_->Of(dot.pointer);
    next.plateOpacity = dot.faded             ? static_cast<std::uint32_t>(kFadedOpacity * 255)
                        : next.plate->opaque ? kOpaqueSource
                                             : 255;
  }
  const auto stride = static_cast<std::size_t>(width_);
  for (const OverlayRect& area :
       std::span(changes.rects).first(static_cast<std::size_t>(changes.count))) {
    Clear(area);
    for (const Placed& dot : std::span(placed).first(static_cast<std::size_t>(count))) {
      if (!Intersects(dot.bounds, area)) continue;
      CompositeSprite(*dot.sprite, dot.disc, Intersection(dot.disc, area));
      if (dot.plate == nullptr) continue;
      Composite(dot.plate->pixels.data(), dot.label.Width(), dot.label.left, dot.label.top,
                Intersection(dot.label, area), pixels_.data(), stride, dot.plateOpacity);
    }
  }
}
