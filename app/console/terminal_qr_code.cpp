#include "app/console/terminal_qr_code.h"

#include <qrencode.h>

#include <memory>

std::string TerminalQrCode(const std::string& text) {
  std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
  if (!code) return {};

  const int width = code->width;
  constexpr int kQuiet = 2;
  // Dark modules print as blank on a light background block, so the code
  // reads as dark-on-light whatever the terminal's colours.
  auto dark = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= width) return false;
    return (code->data[y * width + x] & 1) != 0;
  };
  std::string lines;
  for (int y = -kQuiet; y < width + kQuiet; y += 2) {
    for (int x = -kQuiet; x < width + kQuiet; ++x) {
      const bool top = dark(x, y);
      const bool bottom = dark(x, y + 1);
      if (top && bottom) {
        lines += " ";
      } else if (top) {
        lines += "\u2584";  // lower half block: light below
      } else if (bottom) {
        lines += "\u2580";  // upper half block: light above
      } else {
        lines += "\u2588";  // full block: light
      }
    }
    lines += "\n";
  }
  return lines;
}
