#include "app/window_placement.h"

#include <gtest/gtest.h>

namespace {

// The record must read the same in the Windows program: length first, a
// normal show command, the rectangle at offset 28, little-endian.
TEST(WindowPlacementTest, PacksTheNormalRectangleWhereWindowsKeepsItAndRefusesOthers) {
  const WindowPlacementBytes bytes = PackWindowPlacement({-8, 300, 0x1234, 0x10000});
  const WindowPlacementBytes expected = {
      44, 0, 0, 0, 0, 0, 0,    0,    1,    0,    0,    0,    0, 0, 0,    0,    0, 0, 0, 0, 0, 0,
      0,  0, 0, 0, 0, 0, 0xF8, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0, 0x34, 0x12, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(bytes, expected);

  const std::optional<NormalRectangle> normal = UnpackWindowPlacement(bytes);
  ASSERT_TRUE(normal.has_value());
  EXPECT_EQ(normal->left, -8);
  EXPECT_EQ(normal->bottom, 0x10000);

  // A foreign length, an empty record and an empty rectangle are refused.
  WindowPlacementBytes wrongLength = PackWindowPlacement({0, 0, 100, 100});
  wrongLength[0] = 40;
  EXPECT_FALSE(UnpackWindowPlacement(wrongLength).has_value());
  EXPECT_FALSE(UnpackWindowPlacement(WindowPlacementBytes{}).has_value());
  EXPECT_FALSE(UnpackWindowPlacement(PackWindowPlacement({50, 50, 50, 90})).has_value());
}

}  // namespace
