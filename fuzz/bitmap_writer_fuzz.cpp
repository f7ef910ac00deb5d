// Codeplate's bitmap writer with any text, module size and colour values.
// The first line holds "moduleSize red green blue" as decimal numbers, the
// rest is the text (up to its first zero byte, as the INI reader hands it on).
// A written file must have exactly the size its headers state, and an image
// too large for a BMP file must be refused with a message, not written.
#include <qrencode.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "fuzz/script_lines.h"
#include "qrtool/qr_code_bitmap.h"

namespace {

// Images that are valid but larger than this would only measure the machine's
// memory; they are left out.
constexpr unsigned __int128 kLargestImageTried = 4u << 20;
constexpr unsigned __int128 kLargestBmpFile = 0x7FFFFFFF;

int SymbolWidth(const std::string& text) {
  QRcode* symbol = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_H, QR_MODE_8, 1);
  if (symbol == nullptr) return -1;
  const int width = symbol->width;
  QRcode_free(symbol);
  return width;
}

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = FuzzFolder() + "/code.bmp";
  ScriptLines script(data, size);
  std::string_view numbers;
  if (!script.Next(numbers)) return 0;
  QrCodeBitmapStyle style;
  style.moduleSize = LeadingNumber<int>(numbers, 8);
  style.red = LeadingNumber<int>(numbers, 0);
  style.green = LeadingNumber<int>(numbers, 0);
  style.blue = LeadingNumber<int>(numbers, 0);
  const std::size_t textStart =
      std::min(size, static_cast<std::size_t>(numbers.data() + numbers.size() -
                                              reinterpret_cast<const char*>(data)) +
                         1);
  const std::string text(
      reinterpret_cast<const char*>(data) + textStart,
      strnlen(reinterpret_cast<const char*>(data) + textStart, size - textStart));

  const int width = SymbolWidth(text);
  if (width < 0 || style.moduleSize < 1) return 0;  // refused before any size is worked out
  const unsigned __int128 side = static_cast<unsigned __int128>(width) * style.moduleSize;
  const unsigned __int128 fileSize = kBitmapHeadersSize + side * ((3 * side + 3) / 4 * 4);
  if (fileSize > kLargestImageTried && fileSize <= kLargestBmpFile) return 0;

  std::remove(file.c_str());
  std::ostringstream messages;
  const bool written = WriteQrCodeBitmap(text.c_str(), file, style, messages);
  if (fileSize > kLargestBmpFile) {
    if (written) FuzzFailure("an image too large for a BMP file was written");
    if (messages.str().empty()) FuzzFailure("a refused image left no message");
    return 0;
  }
  if (!written) FuzzFailure("a valid image was not written: " + messages.str());

  std::ifstream stream(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(stream)),
                          std::istreambuf_iterator<char>());
  if (bytes.size() != fileSize) FuzzFailure("file size differs from the image size");
  if (bytes.compare(0, 2, "BM") != 0 || Read32(bytes, 2) != fileSize || Read32(bytes, 18) != side ||
      Read32(bytes, 22) != static_cast<std::uint32_t>(-static_cast<std::int64_t>(side))) {
    FuzzFailure("BMP headers disagree with the image");
  }
  // The top left module belongs to a finder pattern and is always dark.
  const auto* pixel = reinterpret_cast<const std::uint8_t*>(bytes.data()) + kBitmapHeadersSize;
  if (pixel[0] != static_cast<std::uint8_t>(style.blue) ||
      pixel[1] != static_cast<std::uint8_t>(style.green) ||
      pixel[2] != static_cast<std::uint8_t>(style.red)) {
    FuzzFailure("the dark modules do not have the configured colour");
  }
  return 0;
}
