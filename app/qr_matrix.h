// A QR code as a square of modules with its quiet zone, for each front end
// to draw its own way: half blocks in a terminal, squares in a window.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QrMatrix {
 public:
  // Scanners need a light margin of four modules around the symbol.
  static constexpr int kQuietZone = 4;

  // The code of text (error correction level M, as many modules as the text
  // needs); empty when the text cannot be encoded.
  static QrMatrix Encode(const std::string& text);

  bool IsEmpty() const { return symbolWidth_ == 0; }
  // Modules per side, the quiet zone on both sides included.
  int Side() const { return symbolWidth_ == 0 ? 0 : symbolWidth_ + 2 * kQuietZone; }
  // Module (x, y) of the whole square, 0 to Side() - 1; the quiet zone and
  // anything outside the square are light.
  bool IsDark(int x, int y) const;

 private:
  int symbolWidth_ = 0;
  std::vector<bool> dark_;  // symbolWidth_ rows of symbolWidth_ modules, top row first
};

// Pixels per module for a code of side modules that, quiet zone included,
// takes about 70 % and never less than 60 % of a screen screenHeight pixels
// high: readable from the back of a room when a projector shows it.
int ModulePixelsForScreen(int side, int screenHeight);

// The address under a code, cut to what fits (as fits measures it): "..."
// takes the middle, so that the start (the PC and its port) and the end
// (the key's last characters) stay readable.
std::string ElideMiddle(const std::string& text,
                        const std::function<bool(const std::string&)>& fits);
