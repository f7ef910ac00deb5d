#include "app/pointer_overlay_model.h"

#include <algorithm>
#include <cmath>

#include "app/overlay_dot_picture.h"

namespace {

// Distinct at a glance on light and dark desktops alike; a dark edge sets
// each dot off from what lies below.
constexpr std::uint32_t kPalette[] = {
    0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231, 0x911EB4, 0x42D4F4, 0xF032E6,
    0xBFEF45, 0xFABED4, 0x469990, 0x9A6324, 0x800000, 0x808000, 0x000075, 0xA9A9A9,
};
constexpr int kPaletteSize = static_cast<int>(std::size(kPalette));

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
