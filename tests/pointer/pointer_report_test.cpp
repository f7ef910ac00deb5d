#include "pointer/pointer_report.h"

#include <gtest/gtest.h>

namespace {

TEST(PointerReportTest, DecodesTheFixedFields) {
  PointerReport report;
  ASSERT_TRUE(DecodePointerReport("/tolvex10003001080008000100201?x=1", report));
  EXPECT_EQ(report.layout, 1u);
  EXPECT_EQ(report.screen, 0u);
  EXPECT_EQ(report.pointer, 3u);
  EXPECT_EQ(report.frame, 16u);
  EXPECT_EQ(report.x, 32768u);
  EXPECT_EQ(report.y, 32768u);
  EXPECT_EQ(report.buttonL, 1u);
  EXPECT_EQ(report.buttonR, 0u);
  EXPECT_EQ(report.ackMode, 2u);
  EXPECT_EQ(report.ackPacket, 1u);
}

TEST(PointerReportTest, HexHelpers) {
  EXPECT_EQ(DecodeHexField("fFaA", 0, 4), 0xFFAAu);
  EXPECT_EQ(DecodeHexField("12", 0, 0), 0u);
  char out[4];
  EXPECT_EQ(AppendHexByte(out, 0x1A5), out + 2);
  EXPECT_EQ(std::string(out, 2), "A5");
}

}  // namespace
