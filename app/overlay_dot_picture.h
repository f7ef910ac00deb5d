// How a dot looks: the radii of its fill and rings for a size of dot, the
// square its picture fills, and the picture itself.
#pragma once

#include <cstdint>
#include <vector>

#include "app/pointer_overlay_model.h"

// A silent pointer's dot and plate show at this opacity.
inline constexpr float kFadedOpacity = 0.4f;

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

DotLayout LayoutFor(int radius);
// The square of the dot's picture, marks and badge included.
OverlayRect DiscBounds(const OverlayDot& dot, int radius);
// The dot's picture, its place left out, as premultiplied 0xAARRGGBB pixels:
// a square of 2 * extent + 1 pixels a side around its centre.
void DrawDotPicture(const OverlayDot& dot, int radius, std::vector<std::uint32_t>& pixels);
