#include "app/qr_matrix.h"

#include <gtest/gtest.h>

namespace {

TEST(QrMatrixTest, SymbolSitsInsideAQuietZoneOfFourModules) {
  const QrMatrix code = QrMatrix::Encode("http://192.168.1.20:8080/");
  ASSERT_FALSE(code.IsEmpty());
  const int side = code.Side();
  EXPECT_EQ((side - 2 * QrMatrix::kQuietZone - 21) % 4, 0);
  for (int i = 0; i < side; ++i) {
    for (int margin = 0; margin < QrMatrix::kQuietZone; ++margin) {
      EXPECT_FALSE(code.IsDark(i, margin));
      EXPECT_FALSE(code.IsDark(i, side - 1 - margin));
      EXPECT_FALSE(code.IsDark(margin, i));
      EXPECT_FALSE(code.IsDark(side - 1 - margin, i));
    }
  }
  // The top left finder pattern's corner begins right after the margin.
  EXPECT_TRUE(code.IsDark(QrMatrix::kQuietZone, QrMatrix::kQuietZone));
  EXPECT_TRUE(QrMatrix::Encode("").IsEmpty());
}

// Whole pixels per module must never leave the code below 60 % of the
// screen's height, nor push it off the screen.
TEST(QrMatrixTest, ModuleSizeFillsSixtyToAboutSeventyPercentOfTheScreen) {
  for (int screenHeight : {480, 600, 768, 1080, 1200, 2160}) {
    for (int side = 29; side <= 73; side += 4) {
      const int pixels = ModulePixelsForScreen(side, screenHeight) * side;
      EXPECT_GE(pixels * 10, screenHeight * 6) << screenHeight << " " << side;
      EXPECT_LE(pixels * 10, screenHeight * 8) << screenHeight << " " << side;
    }
  }
  EXPECT_EQ(ModulePixelsForScreen(0, 768), 1);
}

TEST(QrMatrixTest, ALongAddressLosesItsMiddleAndKeepsBothEnds) {
  const std::string address = "http://192.168.1.20:8080/?key=abcdefghijklmnopqrstuvwxyz";
  const auto atMost = [](std::size_t length) {
    return [length](const std::string& text) { return text.size() <= length; };
  };
  EXPECT_EQ(ElideMiddle(address, atMost(address.size())), address);
  EXPECT_EQ(ElideMiddle(address, atMost(40)), "http://192.168.1.20...ijklmnopqrstuvwxyz");
  EXPECT_EQ(ElideMiddle(address, atMost(2)), "...");
}

}  // namespace
