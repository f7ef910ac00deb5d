// QR codes as 24-bit BMP files: the bare module matrix, one square block of
// pixels per module, without a quiet zone.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct QrCodeBitmapStyle {
  int moduleSize = 8;  // side of one module in image pixels
  int red = 0;         // colour of the dark modules; only the low 8 bits count
  int green = 0;
  int blue = 0;
};

// A symbol as the encoder hands it out: width x width module bytes, rows from
// the top, each left to right. Bit 0 set means a dark module.
struct QrModules {
  int width = 0;
  const unsigned char* data = nullptr;
};

inline constexpr std::size_t kBitmapHeadersSize = 54;  // file header + information header

// Bytes of one stored pixel row: three per pixel, padded to a multiple of four.
std::uint64_t BitmapStride(std::uint64_t side);

// The size of the file for a symbol of that many modules across, or false
// when it would not fit a BMP file of at most 2 GiB.
bool BitmapFileSize(std::uint64_t modules, std::uint64_t moduleSize, std::uint64_t& fileSize);

// The whole file: both headers, then the pixel rows top row first (negative
// height), each pixel blue, green, red, light modules white, padding 0xFF.
// Empty when the image would not fit a BMP file of at most 2 GiB or the memory
// for it cannot be had. The module size must be at least 1.
std::vector<std::uint8_t> RenderQrCodeBitmap(const QrModules& symbol,
                                             const QrCodeBitmapStyle& style);

// Messages of WriteQrCodeBitmap. They carry no line end, so that two failures
// of one run stand side by side on one line.
inline constexpr const char* kEncodingFailedMessage = "Error during creation of the QR code data";
inline constexpr const char* kOutOfMemoryMessage = "Out of memory";
inline constexpr const char* kUnableToOpenMessage = "Unable to open file";
inline constexpr const char* kUnableToWriteMessage = "Unable to write file";
inline constexpr const char* kModuleSizeTooSmallMessage =
    "NumberOfBMPPixelsPerQRCodePixel must be at least 1";
inline constexpr const char* kTooLargeMessage =
    "The picture would be larger than the 2 GiB a BMP file can hold: lower "
    "NumberOfBMPPixelsPerQRCodePixel";

// Encodes text exactly as it is (smallest version, error correction level H,
// 8-bit mode, case-sensitive) and writes it as a BMP file, replacing any file
// of that name. Returns true when the whole file was written; otherwise writes
// the reason to messages.
bool WriteQrCodeBitmap(const char* text, const std::string& file, const QrCodeBitmapStyle& style,
                       std::ostream& messages);
