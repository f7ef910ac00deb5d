// The overlay's canvas: the pixels of the dots of each frame, repainted only
// where they changed, for the overlay windows to hand to the window system.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/pointer_overlay_model.h"

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
