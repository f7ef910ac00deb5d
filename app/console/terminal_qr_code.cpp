#include "app/console/terminal_qr_code.h"

#include <qrencode.h>

#include <memory>

std::string TerminalQrCode(const std::string& text) {
  std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
  if (!code) return {};

  const int width = code->width;
  // Scanners need a light margin of four modules around the symbol.
  constexpr int kQuiet = 4;
  // Black glyphs on a bright white background, set explicitly on every line:
  // the code reads as dark-on-light whatever the terminal's theme, and a
  // line that ends resets the colours so the prompt keeps the theme's own.
  constexpr const char* kDarkOnLight = "\x1b[30;107m";
  constexpr const char* kThemeColours = "\x1b[0m";
  auto dark = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= width) return false;
    return (code->data[y * width + x] & 1) != 0;
  };
  std::string lines;
  for (int y = -kQuiet; y < width + kQuiet; y += 2) {
    lines += kDarkOnLight;
    for (int x = -kQuiet; x < width + kQuiet; ++x) {
      const bool top = dark(x, y);
      const bool bottom = dark(x, y + 1);
      if (top && bottom) {
        lines += "\u2588";  // full block: both dark
      } else if (top) {
        lines += "\u2580";  // upper half block: dark above
      } else if (bottom) {
        lines += "\u2584";  // lower half block: dark below
      } else {
        lines += " ";
      }
    }
    lines += kThemeColours;
    lines += "\n";
  }
  return lines;
}
