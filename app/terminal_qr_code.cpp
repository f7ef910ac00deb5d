#include "app/terminal_qr_code.h"

#include "app/qr_matrix.h"

std::string TerminalQrCode(const std::string& text) {
  const QrMatrix code = QrMatrix::Encode(text);
  if (code.IsEmpty()) return {};

  // Black glyphs on a bright white background, set explicitly on every line:
  // the code reads as dark-on-light whatever the terminal's theme, and a
  // line that ends resets the colours so the prompt keeps the theme's own.
  constexpr const char* kDarkOnLight = "\x1b[30;107m";
  constexpr const char* kThemeColours = "\x1b[0m";
  const int side = code.Side();
  std::string lines;
  for (int y = 0; y < side; y += 2) {
    lines += kDarkOnLight;
    for (int x = 0; x < side; ++x) {
      const bool top = code.IsDark(x, y);
      const bool bottom = code.IsDark(x, y + 1);
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
