// The area is read by programs built elsewhere: check it byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "tests/pointer/channel_fixture.h"

namespace {

std::uint32_t WordAt(const SharedMemoryArea* area, std::size_t offset) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(area) + offset;
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool AllZero(const SharedMemoryArea* area, std::size_t from, std::size_t to) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(area);
  for (std::size_t offset = from; offset < to; ++offset) {
    if (bytes[offset] != 0) return false;
  }
  return true;
}

TEST(SharedMemoryTextsTest, FillTextIsSeventyTwoWindowsLines) {
  const std::string_view text(FillText);
  ASSERT_EQ(text.size(), 3306u);
  int lines = 0;
  bool beyondAscii = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r') {
      ASSERT_LT(i + 1, text.size());
      ASSERT_EQ(text[i + 1], '\n') << "CR without LF at " << i;
      ++lines;
      ++i;
      continue;
    }
    ASSERT_NE(byte, '\n') << "LF without CR at " << i;
    // Windows-1252 leaves these undefined.
    ASSERT_TRUE(byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 && byte != 0x9D);
    ASSERT_TRUE(byte >= 0x20 && byte != 0x7F) << "control byte at " << i;
    beyondAscii |= byte >= 0x80;
  }
  EXPECT_EQ(lines, 72);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_TRUE(beyondAscii);
}

TEST(SharedMemoryTextsTest, NoticeTextIsAUsableAreaName) {
  const std::string_view name(NoticeText);
  ASSERT_EQ(name.size(), 100u);
  for (const char c : name) {
    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
    EXPECT_NE(c, '\\');
    EXPECT_NE(c, '/');
  }
}

TEST(SharedMemoryLayoutTest, ReportFlagsFollowButtonsAndAckMode) {
  EXPECT_EQ(PointerReportFlags(1, 1, 2), 0xC300u);
  EXPECT_EQ(PointerReportFlags(0, 0, 0), 0u);
  EXPECT_EQ(PointerReportFlags(1, 0, 1), 0x100u);
  EXPECT_EQ(PointerReportFlags(0, 1, 0), 0x200u);
  EXPECT_EQ(PointerReportFlags(2, 2, 3), 0xC000u);  // only 1 counts as pressed
  EXPECT_EQ(ComposeVersionWebServerService(2, 0, 1, 0), 0x02000100u);
}

TEST_F(ChannelTest, CreatedAreaHoldsTheFixedFieldsAtTheirOffsets) {
  CreateServer();
  const SharedMemoryArea* area = server_.GetHeader();
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(WordAt(area, 0), 4240072u);
  EXPECT_EQ(WordAt(area, 4), 0x23020902u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(area) + 8, FillText, 3307), 0);
  EXPECT_TRUE(AllZero(area, 8 + 3307, 4008));
  EXPECT_EQ(WordAt(area, 4008), 28u);
  EXPECT_TRUE(AllZero(area, 4012, 4036));  // the version stays for the server to write
  EXPECT_EQ(WordAt(area, 4036), 384036u);
  EXPECT_TRUE(AllZero(area, 4040, 388072));
  for (int pointer = 0; pointer < 600; ++pointer) {
    const std::size_t block = 388072 + static_cast<std::size_t>(pointer) * 6420;
    ASSERT_EQ(WordAt(area, block), 6420u) << pointer;
    ASSERT_TRUE(AllZero(area, block + 4, block + 6420)) << pointer;
  }
  EXPECT_EQ(server_.FillTextMatches(), 1);
}

TEST_F(ChannelTest, RecordsLandInTheirSlots) {
  CreateServer();
  const SharedMemoryArea* area = server_.GetHeader();
  PointerReportRecord report;
  report = {0x11, 0xFFFF, 79, 0x1234, 0xABCD, 0xC300};
  ASSERT_EQ(server_.PutPointerReport(report), 1);
  ASSERT_EQ(server_.PutPointerReport(report), 1);
  EXPECT_EQ(WordAt(area, 4040), 2u);  // write index
  EXPECT_EQ(WordAt(area, 4044), 0u);  // read index
  const std::uint32_t expected[] = {0x11, 0xFFFF, 79, 0x1234, 0xABCD, 0xC300};
  for (int field = 0; field < 6; ++field) {
    EXPECT_EQ(WordAt(area, 4048 + 24 + 4 * field), expected[field]) << field;
  }

  OpenConsumer();
  const std::size_t lastPhone = 388072 + 79 * 6420;
  ASSERT_EQ(tvxhdv_send(consumer_.get(), 79, 0x41), TVXHDV_OK);
  EXPECT_EQ(WordAt(area, lastPhone + 4), 1u);
  EXPECT_EQ(WordAt(area, lastPhone + 12), 0x41u);
  EXPECT_EQ(WordAt(area, lastPhone + 16), 0u);

  const std::size_t last = 388072 + 599 * 6420;
  ASSERT_EQ(PutRawCommand(*server_.GetHeader(), 599, CommandRecord{0x41, 0x99}), 1);
  EXPECT_EQ(WordAt(area, last + 4), 1u);
  EXPECT_EQ(WordAt(area, last + 12), 0x41u);
  EXPECT_EQ(WordAt(area, last + 16), 0x99u);
  EXPECT_EQ(last + 6420, 4240072u);
}

}  // namespace
