#include "qrtool/qr_code_bitmap.h"

#include <qrencode.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>

namespace {

// Beyond this the signed 32-bit sizes of the format, and any sane use, end.
constexpr std::uint64_t kLargestFileSize = 0x7FFFFFFF;

using QrSymbol = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

QrSymbol EncodeQrSymbol(const char* text) {
  return QrSymbol(QRcode_encodeString(text, 0, QR_ECLEVEL_H, QR_MODE_8, 1), &QRcode_free);
}

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutHeaders(std::uint8_t* file, std::uint32_t fileSize, std::int32_t side) {
  // File header.
  Put16(file + 0, 0x4D42);  // "BM"
  Put32(file + 2, fileSize);
  Put32(file + 10, kBitmapHeadersSize);
  // Information header; the fields not set here stay 0.
  Put32(file + 14, 40);
  Put32(file + 18, static_cast<std::uint32_t>(side));
  Put32(file + 22, static_cast<std::uint32_t>(-side));  // negative: rows run top-down
  Put16(file + 26, 1);
  Put16(file + 28, 24);
}

struct Bgr {
  std::uint8_t blue, green, red;
};

void PaintBlock(std::uint8_t* pixels, std::size_t stride, std::size_t top, std::size_t left,
                std::size_t size, Bgr colour) {
  for (std::size_t row = top; row < top + size; ++row) {
    std::uint8_t* pixel = pixels + row * stride + 3 * left;
    for (std::size_t column = 0; column < size; ++column, pixel += 3) {
      pixel[0] = colour.blue;
      pixel[1] = colour.green;
      pixel[2] = colour.red;
    }
  }
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::ostream& messages) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    messages << kUnableToOpenMessage << std::flush;
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  // Closing flushes the buffer: a full disk may only show here.
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    messages << kUnableToWriteMessage << std::flush;
    return false;
  }
  return true;
}

// a x b, or false when the product would pass limit (and so could not be made
// without wrapping around into a small, wrong size).
bool ProductWithin(std::uint64_t a, std::uint64_t b, std::uint64_t limit, std::uint64_t& product) {
  if (a != 0 && b > limit / a) return false;
  product = a * b;
  return true;
}

}  // namespace

std::uint64_t BitmapStride(std::uint64_t side) {
  return (3 * side + 3) / 4 * 4;
}

// Every size is checked before it is made: a product that wrapped around
// would give a small buffer that the painting then overruns.
bool BitmapFileSize(std::uint64_t modules, std::uint64_t moduleSize, std::uint64_t& fileSize) {
  std::uint64_t side = 0;
  std::uint64_t imageBytes = 0;
  if (!ProductWithin(modules, moduleSize, kLargestFileSize, side)) return false;
  if (!ProductWithin(side, BitmapStride(side), kLargestFileSize - kBitmapHeadersSize, imageBytes))
    return false;
  fileSize = kBitmapHeadersSize + imageBytes;
  return true;
}

std::vector<std::uint8_t> RenderQrCodeBitmap(const QrModules& symbol,
                                             const QrCodeBitmapStyle& style) {
  if (style.moduleSize < 1 || symbol.width < 0) return {};
  const auto moduleSize = static_cast<std::uint64_t>(style.moduleSize);
  std::uint64_t fileSize = 0;
  if (!BitmapFileSize(static_cast<std::uint64_t>(symbol.width), moduleSize, fileSize)) return {};
  const std::uint64_t side = static_cast<std::uint64_t>(symbol.width) * moduleSize;
  const std::uint64_t stride = BitmapStride(side);

  std::vector<std::uint8_t> file;
  try {
    // White everywhere, the row padding included.
    file.assign(fileSize, 0xFF);
  } catch (const std::bad_alloc&) {
    return {};
  }
  std::memset(file.data(), 0, kBitmapHeadersSize);
  PutHeaders(file.data(), static_cast<std::uint32_t>(fileSize), static_cast<std::int32_t>(side));

  const Bgr dark{static_cast<std::uint8_t>(style.blue), static_cast<std::uint8_t>(style.green),
                 static_cast<std::uint8_t>(style.red)};
  std::uint8_t* pixels = file.data() + kBitmapHeadersSize;
  const auto width = static_cast<std::size_t>(symbol.width);
  for (std::size_t y = 0; y < width; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      if (symbol.data[y * width + x] & 1) {
        PaintBlock(pixels, stride, y * moduleSize, x * moduleSize, moduleSize, dark);
      }
    }
  }
  return file;
}

bool WriteQrCodeBitmap(const char* text, const std::string& file, const QrCodeBitmapStyle& style,
                       std::ostream& messages) {
  // Sizes below 1 would give an empty or nonsensical image.
  if (style.moduleSize < 1) {
    messages << kModuleSizeTooSmallMessage << std::flush;
    return false;
  }
  const QrSymbol symbol = EncodeQrSymbol(text);
  if (!symbol) {
    messages << kEncodingFailedMessage << std::flush;
    return false;
  }
  std::uint64_t fileSize = 0;
  if (!BitmapFileSize(static_cast<std::uint64_t>(symbol->width),
                      static_cast<std::uint64_t>(style.moduleSize), fileSize)) {
    messages << kTooLargeMessage << std::flush;
    return false;
  }
  const std::vector<std::uint8_t> bitmap =
      RenderQrCodeBitmap(QrModules{symbol->width, symbol->data}, style);
  if (bitmap.empty()) {
    messages << kOutOfMemoryMessage << std::flush;
    return false;
  }
  return WriteWholeFile(file, bitmap, messages);
}
