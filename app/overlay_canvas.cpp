#include "app/overlay_canvas.h"

#include <algorithm>
#include <span>

#include "app/overlay_dot_picture.h"

namespace {

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

}  // namespace

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

  const int extent = LayoutFor(radius).extent;
  const int side = 2 * extent + 1;
  sprite.look = look;
  sprite.radius = radius;
  sprite.extent = extent;
  DrawDotPicture(dot, radius, sprite.pixels);
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
    if (labels_ == nullptr || dot.labelStamp == 0 ||
        labels_->Stamp(dot.pointer) != dot.labelStamp) {
      continue;
    }
    next.label = ToCanvas(LabelBounds(dot, frame.radius), frame.screen);
    next.plate = &labels_->Of(dot.pointer);
    next.plateOpacity = dot.faded            ? static_cast<std::uint32_t>(kFadedOpacity * 255)
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
