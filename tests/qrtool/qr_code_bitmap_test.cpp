#include "qrtool/qr_code_bitmap.h"

#include <gtest/gtest.h>
#include <qrencode.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Blue, green, red of the pixel at (row, column) of a top-down 24-bit file.
struct Pixel {
  int blue, green, red;
  bool operator==(const Pixel&) const = default;
};

Pixel PixelAt(const std::string& file, int row, int column) {
  const auto side = static_cast<std::int32_t>(Read32(file, 18));
  const std::size_t at = kBitmapHeadersSize + row * BitmapStride(side) + 3 * column;
  return {static_cast<unsigned char>(file[at]), static_cast<unsigned char>(file[at + 1]),
          static_cast<unsigned char>(file[at + 2])};
}

constexpr Pixel kWhite{255, 255, 255};
constexpr Pixel kBlack{0, 0, 0};

class QrCodeBitmapTest : public testing::Test {
 protected:
  TempFolder folder;
  std::string bmp = folder.File("code.bmp");
  std::ostringstream messages;
  QrCodeBitmapStyle style;

  // "Handvan" is the longest lower-case text that a version-1 symbol holds at level H.
  std::string Write(const char* text = "Handvan") {
    EXPECT_TRUE(WriteQrCodeBitmap(text, bmp, style, messages));
    EXPECT_EQ(messages.str(), "");
    return TempFolder::ReadAll(bmp);
  }

  void ExpectRefused(const char* text, const std::string& message) {
    EXPECT_FALSE(WriteQrCodeBitmap(text, bmp, style, messages));
    EXPECT_EQ(messages.str(), message);
    EXPECT_FALSE(std::filesystem::exists(bmp));
  }
};

TEST_F(QrCodeBitmapTest, VersionOneAtTheDefaultSizeIs168PixelsSquare) {
  const std::string file = Write();
  ASSERT_EQ(file.size(), 84726u);
  const unsigned char headers[kBitmapHeadersSize] = {
      'B',  'M',  0xF6, 0x4A, 0x01, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40,   0,    0,    0,    168,  0, 0, 0,                     // size, width
      0x58, 0xFF, 0xFF, 0xFF,                                    // height -168
      1,    0,    24,   0,                                       // planes, bits
      0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(file.substr(0, kBitmapHeadersSize),
            std::string(reinterpret_cast<const char*>(headers), sizeof headers));
  EXPECT_EQ(BitmapStride(168), 504u);
}

TEST_F(QrCodeBitmapTest, ModuleSizeOnePadsEachRowWithOneWhiteByte) {
  style.moduleSize = 1;
  const std::string file = Write();
  ASSERT_EQ(file.size(), 1398u);
  EXPECT_EQ(Read32(file, 2), 1398u);
  EXPECT_EQ(Read32(file, 18), 21u);
  EXPECT_EQ(static_cast<std::int32_t>(Read32(file, 22)), -21);
  for (int row = 0; row < 21; ++row) {
    EXPECT_EQ(static_cast<unsigned char>(file[kBitmapHeadersSize + row * 64 + 63]), 0xFF) << row;
  }
}

TEST_F(QrCodeBitmapTest, ColourValuesKeepTheirLowEightBits) {
  style = {.moduleSize = 2, .red = 256, .green = 511, .blue = 0x1A3};
  const std::string file = Write();
  // The top left corner belongs to a finder pattern: dark. Module 7 of the
  // top row is the finder's separator: light.
  EXPECT_EQ(PixelAt(file, 0, 0), (Pixel{0xA3, 255, 0}));
  EXPECT_EQ(PixelAt(file, 1, 13), (Pixel{0xA3, 255, 0}));
  EXPECT_EQ(PixelAt(file, 0, 14), kWhite);
}

bool IsFinderPattern(const std::string& file, int moduleSize, int topModule, int leftModule) {
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 7; ++x) {
      const int ring = std::max(std::abs(y - 3), std::abs(x - 3));
      const Pixel expected = ring == 2 ? kWhite : kBlack;
      const Pixel actual = PixelAt(file, (topModule + y) * moduleSize + moduleSize / 2,
                                   (leftModule + x) * moduleSize + moduleSize / 2);
      if (actual != expected) return false;
    }
  }
  return true;
}

TEST_F(QrCodeBitmapTest, RowsRunTopDownLikeTheSymbol) {
  style.moduleSize = 3;
  const char* text = "http://192.168.1.20:8080/";
  const std::string file = Write(text);

  QRcode* symbol = QRcode_encodeString(text, 0, QR_ECLEVEL_H, QR_MODE_8, 1);
  ASSERT_NE(symbol, nullptr);
  const int width = symbol->width;
  ASSERT_EQ(Read32(file, 18), static_cast<std::uint32_t>(width * 3));
  for (int y = 0; y < width; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool dark = symbol->data[y * width + x] & 1;
      // Every pixel of the module's block, sampled at its corners.
      for (int corner = 0; corner < 4; ++corner) {
        const int row = y * 3 + (corner / 2) * 2;
        const int column = x * 3 + (corner % 2) * 2;
        ASSERT_EQ(PixelAt(file, row, column), dark ? kBlack : kWhite) << y << "," << x;
      }
    }
  }
  QRcode_free(symbol);

  EXPECT_TRUE(IsFinderPattern(file, 3, 0, 0));
  EXPECT_TRUE(IsFinderPattern(file, 3, 0, width - 7));
  EXPECT_TRUE(IsFinderPattern(file, 3, width - 7, 0));
  EXPECT_FALSE(IsFinderPattern(file, 3, width - 7, width - 7));
}

TEST_F(QrCodeBitmapTest, OnlyBitZeroOfAModuleMakesItDark) {
  const unsigned char modules[] = {0x01, 0xFE, 0xC0, 0x81};
  const std::vector<std::uint8_t> bytes = RenderQrCodeBitmap({2, modules}, {.moduleSize = 3});
  const std::string file(bytes.begin(), bytes.end());
  ASSERT_EQ(file.size(), kBitmapHeadersSize + 6 * 20u);  // 18 bytes a row, padded to 20
  for (int row = 0; row < 6; ++row) {
    for (int column = 0; column < 6; ++column) {
      const bool dark = (row < 3) == (column < 3);
      EXPECT_EQ(PixelAt(file, row, column), dark ? kBlack : kWhite) << row << "," << column;
    }
    EXPECT_EQ(file.substr(kBitmapHeadersSize + row * 20 + 18, 2), "\xFF\xFF");
  }
}

TEST_F(QrCodeBitmapTest, AnExistingFileIsReplacedWhole) {
  TempFolder::WriteAll(bmp, std::string(200000, 'x'));
  EXPECT_EQ(Write().size(), 84726u);
}

TEST_F(QrCodeBitmapTest, FailuresWriteNothingAndSayWhy) {
  ExpectRefused("", kEncodingFailedMessage);

  messages.str("");
  style.moduleSize = 0;
  ExpectRefused("Handvan", kModuleSizeTooSmallMessage);
  messages.str("");
  style.moduleSize = -3;
  ExpectRefused("Handvan", kModuleSizeTooSmallMessage);

  // Sizes past what a BMP file holds must not wrap around into a small image,
  // and the operator hears the format's limit, not a shortage of memory.
  // A page's address is 33 modules or more across: at 1000 pixels each, 3 GB.
  for (const int size : {1000, 1000000}) {
    messages.str("");
    style.moduleSize = size;
    ExpectRefused("http://192.168.1.20:8080/#key=Room-12", kTooLargeMessage);
  }
  // 25 modules of this size make a product that wraps to about 1.7 GB.
  const std::string modules(25 * 25, '\1');
  style.moduleSize = 242960040;
  EXPECT_TRUE(
      RenderQrCodeBitmap({25, reinterpret_cast<const unsigned char*>(modules.data())}, style)
          .empty());
}

TEST_F(QrCodeBitmapTest, AFileThatCannotBeCreatedIsReported) {
  for (const std::string& file : {std::string(), folder.File("missing/code.bmp")}) {
    messages.str("");
    EXPECT_FALSE(WriteQrCodeBitmap("Handvan", file, style, messages));
    EXPECT_EQ(messages.str(), kUnableToOpenMessage);
  }
}

TEST_F(QrCodeBitmapTest, AWriteThatFailsIsNotReportedAsWritten) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no device that is always full";
  EXPECT_FALSE(WriteQrCodeBitmap("Handvan", "/dev/full", style, messages));
  EXPECT_EQ(messages.str(), kUnableToWriteMessage);
}

}  // namespace
