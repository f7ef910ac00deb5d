#include "app/overlay_dot_picture.h"

#include <algorithm>
#include <cmath>

namespace {

// Digits of 5 by 7 cells, one row per byte, the leftmost cell in bit 4.
constexpr std::uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

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

}  // namespace

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

OverlayRect DiscBounds(const OverlayDot& dot, int radius) {
  const int extent = LayoutFor(radius).extent;
  return {dot.x - extent, dot.y - extent, dot.x + extent + 1, dot.y + extent + 1};
}

void DrawDotPicture(const OverlayDot& dot, int radius, std::vector<std::uint32_t>& pixels) {
  const DotLayout layout = LayoutFor(radius);
  const int extent = layout.extent;
  const int side = 2 * extent + 1;
  pixels.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0);
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
      pixels[static_cast<std::size_t>((y + extent) * side + (x + extent))] =
          Pack(c, dot.faded ? kFadedOpacity : 1.0f);
    }
  }
}
