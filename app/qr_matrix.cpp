#include "app/qr_matrix.h"

#include <qrencode.h>

#include <memory>

QrMatrix QrMatrix::Encode(const std::string& text) {
  QrMatrix matrix;
  std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
  if (!code) return matrix;
  matrix.symbolWidth_ = code->width;
  const std::size_t modules = static_cast<std::size_t>(code->width) * code->width;
  matrix.dark_.resize(modules);
  for (std::size_t i = 0; i < modules; ++i) matrix.dark_[i] = (code->data[i] & 1) != 0;
  return matrix;
}

bool QrMatrix::IsDark(int x, int y) const {
  const int symbolX = x - kQuietZone;
  const int symbolY = y - kQuietZone;
  if (symbolX < 0 || symbolY < 0 || symbolX >= symbolWidth_ || symbolY >= symbolWidth_) {
    return false;
  }
  return dark_[static_cast<std::size_t>(symbolY) * symbolWidth_ + symbolX];
}

int ModulePixelsForScreen(int side, int screenHeight) {
  if (side <= 0 || screenHeight <= 0) return 1;
  int pixels = screenHeight * 7 / (10 * side);
  // Whole pixels per module: rounding down may fall below the least size.
  if (pixels * side * 10 < screenHeight * 6)
    pixels = (screenHeight * 6 + 10 * side - 1) / (10 * side);
  return pixels < 1 ? 1 : pixels;
}

std::string ElideMiddle(const std::string& text,
                        const std::function<bool(const std::string&)>& fits) {
  if (fits(text)) return text;
  for (std::size_t kept = text.size(); kept-- > 0;) {
    const std::size_t head = (kept + 1) / 2;
    const std::string cut = text.substr(0, head) + "..." + text.substr(text.size() - (kept - head));
    if (fits(cut)) return cut;
  }
  return "...";
}
