// The FIFO rules, the same for the report FIFO and every command FIFO, and
// what happens when the other process writes a bad index. The consumer's side
// is the kit's.
#include <gtest/gtest.h>

#include "tests/pointer/channel_fixture.h"

namespace {

class FifoTest : public ChannelTest {
 protected:
  void SetUp() override {
    CreateServer();
    OpenConsumer();
  }
  SharedMemoryArea& Area() { return *server_.GetHeader(); }
  int Send(int pointer, unsigned code) { return tvxhdv_send(consumer_.get(), pointer, code); }
};

TEST_F(FifoTest, ReportFifoFillsAtOneBelowItsSlotsAndWrapsAfterTheLastSlot) {
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
  EXPECT_EQ(server_.PointerFifoCount(), 0);
  EXPECT_EQ(server_.PointerFifoFree(), 15999);
  tvxhdv_report taken;
  EXPECT_FALSE(TakeReport(taken));

  for (std::uint32_t frame = 0; frame < 15999; ++frame) {
    ASSERT_EQ(server_.PutPointerReport(Report(3, frame)), 1) << frame;
  }
  EXPECT_EQ(server_.IsPointerFifoFull(), 1);
  EXPECT_EQ(server_.PointerFifoFree(), 0);
  EXPECT_EQ(server_.PointerFifoCount(), 15999);
  EXPECT_EQ(server_.PutPointerReport(Report(3, 99999)), 0);  // dropped, nothing moves
  EXPECT_EQ(Area().pointerFifo.writeIndex, 15999u);
  EXPECT_EQ(Area().pointerFifo.readIndex, 0u);

  ASSERT_TRUE(TakeReport(taken));
  EXPECT_EQ(taken.frame, 0u);
  EXPECT_EQ(taken.x, 1000u);
  EXPECT_EQ(taken.flags, 0x100u);
  ASSERT_EQ(server_.PutPointerReport(Report(3, 15999)), 1);  // into slot 15999
  EXPECT_EQ(Area().pointerFifo.writeIndex, 0u);
  EXPECT_EQ(server_.IsPointerFifoFull(), 1);  // W + 1 = R

  for (std::uint32_t frame = 1; frame <= 15999; ++frame) {
    ASSERT_TRUE(TakeReport(taken));
    ASSERT_EQ(taken.frame, frame);
  }
  EXPECT_EQ(Area().pointerFifo.readIndex, 0u);
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
}

TEST_F(FifoTest, CountAndFreeAcrossTheWrap) {
  Area().commandFifos[5].writeIndex = 3;
  Area().commandFifos[5].readIndex = 790;
  EXPECT_EQ(server_.CommandFifoCount(5), 13);  // W - R + N
  EXPECT_EQ(server_.CommandFifoFree(5), 786);  // R - W - 1
  EXPECT_EQ(server_.IsCommandFifoFull(5), 0);
  Area().commandFifos[5].writeIndex = 799;
  Area().commandFifos[5].readIndex = 0;
  EXPECT_EQ(server_.IsCommandFifoFull(5), 1);
  EXPECT_EQ(server_.CommandFifoCount(5), 799);

  Area().commandFifos[5].writeIndex = 0;
  for (unsigned n = 0; n < 799; ++n) ASSERT_EQ(Send(5, n % 253 + 1), TVXHDV_OK) << n;
  EXPECT_EQ(Send(5, 1), TVXHDV_FULL);
  CommandRecord command;
  for (unsigned n = 0; n < 799; ++n) {
    ASSERT_EQ(server_.GetCommand(5, command), 1);
    ASSERT_EQ(command.command, n % 253 + 1);
  }
  EXPECT_EQ(server_.IsCommandFifoEmpty(5), 1);
  EXPECT_EQ(server_.GetCommand(5, command), 0);
  EXPECT_EQ(Area().commandFifos[5].readIndex, 799u);  // the wrap is at 799
  EXPECT_EQ(server_.IsCommandFifoEmpty(4), 1);        // neighbours untouched
  EXPECT_EQ(server_.IsCommandFifoEmpty(6), 1);
}

// Each side empties a FIFO by setting its own index to the other's; the kit
// skips the queued reports so when it opens from now on.
TEST_F(FifoTest, ResetsEmptyTheFifoFromEitherSide) {
  for (std::uint32_t frame = 0; frame < 5; ++frame) server_.PutPointerReport(Report(1, frame));
  OpenConsumer(TVXHDV_FROM_NOW);
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
  EXPECT_EQ(Area().pointerFifo.readIndex, 5u);

  for (std::uint32_t frame = 0; frame < 5; ++frame) server_.PutPointerReport(Report(1, frame));
  FifoRing<PointerFifo>::ResetWrite(Area().pointerFifo);
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
  EXPECT_EQ(Area().pointerFifo.writeIndex, 5u);

  Send(9, 7);
  FifoRing<CommandFifo>::ResetWrite(Area().commandFifos[9]);
  EXPECT_EQ(server_.IsCommandFifoEmpty(9), 1);
  Send(9, 7);
  FifoRing<CommandFifo>::ResetRead(Area().commandFifos[9]);
  EXPECT_EQ(server_.IsCommandFifoEmpty(9), 1);
  EXPECT_EQ(server_.CommandFifoCount(9), 0);
}

// The kit sends only to the 80 phones; the server's side takes nothing from
// a number without a block.
TEST_F(FifoTest, PointerNumbersOutsideTheBlocksHoldNothing) {
  CommandRecord command{1, 0};
  for (const int pointer : {-1, 600, 100000}) {
    EXPECT_EQ(Send(pointer, 1), TVXHDV_BAD_ARGUMENT);
    EXPECT_EQ(server_.GetCommand(pointer, command), 0);
    EXPECT_EQ(server_.IsCommandFifoEmpty(pointer), 1);
    EXPECT_EQ(server_.CommandFifoFree(pointer), 0);
  }
  EXPECT_EQ(PutRawCommand(Area(), 599, command), 1);  // the last block is real
  EXPECT_EQ(server_.GetCommand(599, command), 1);
}

// Indices come from another process: a bad one must never reach beyond the
// slots. The FIFO stays unusable until the side owning that index resets it.
TEST_F(FifoTest, BadIndicesMakeTheFifoUnusableUntilItsOwnerResetsIt) {
  server_.PutPointerReport(Report(2, 1));
  Area().pointerFifo.readIndex = 16000;  // the consumer's index, gone wrong
  tvxhdv_report taken;
  EXPECT_EQ(server_.PutPointerReport(Report(2, 2)), 0);
  EXPECT_FALSE(TakeReport(taken));
  EXPECT_EQ(server_.PointerFifoCount(), 0);
  EXPECT_EQ(server_.PointerFifoFree(), 0);
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
  EXPECT_EQ(server_.IsPointerFifoFull(), 1);
  FifoRing<PointerFifo>::ResetWrite(Area().pointerFifo);  // cannot repair the read index
  EXPECT_EQ(server_.PutPointerReport(Report(2, 2)), 0);
  OpenConsumer();  // the kit repairs its read index as it opens
  EXPECT_EQ(server_.PutPointerReport(Report(2, 3)), 1);
  ASSERT_TRUE(TakeReport(taken));
  EXPECT_EQ(taken.frame, 3u);

  Area().commandFifos[0].writeIndex = 0xFFFFFFFF;  // the consumer's index, gone wrong
  const CommandRecord before = Area().commandFifos[0].slots[0];
  CommandRecord command;
  EXPECT_EQ(server_.GetCommand(0, command), 0);
  EXPECT_EQ(Send(0, 5), TVXHDV_FULL);
  EXPECT_NE(std::string(tvxhdv_last_error()).find("is damaged"), std::string::npos);
  EXPECT_EQ(Area().commandFifos[0].slots[0].command, before.command);
  FifoRing<CommandFifo>::ResetRead(Area().commandFifos[0]);  // a bad write index is not copied
  EXPECT_EQ(Area().commandFifos[0].readIndex, 0u);
  EXPECT_EQ(server_.GetCommand(0, command), 0);
  FifoRing<CommandFifo>::ResetWrite(Area().commandFifos[0]);
  EXPECT_EQ(Send(0, 5), TVXHDV_OK);
  ASSERT_EQ(server_.GetCommand(0, command), 1);
  EXPECT_EQ(command.command, 5u);
}

// The server owns the report FIFO's write index and the command FIFOs' read
// indices: one that another program broke is reset at the server's next use,
// and said so once; the consumer's own operations leave it alone.
TEST_F(FifoTest, TheServerResetsItsOwnBadIndexAndGoesOn) {
  Area().pointerFifo.writeIndex = 70000;
  tvxhdv_report taken;
  EXPECT_FALSE(TakeReport(taken));
  EXPECT_EQ(Area().pointerFifo.writeIndex, 70000u);
  EXPECT_EQ(server_.PutPointerReport(Report(2, 7)), 1);
  ASSERT_TRUE(TakeReport(taken));
  EXPECT_EQ(taken.frame, 7u);

  Area().commandFifos[4].readIndex = 900;
  EXPECT_EQ(server_.IsCommandFifoEmpty(4), 1);
  EXPECT_EQ(Send(4, 0xA2), TVXHDV_OK);
  CommandRecord command;
  ASSERT_EQ(server_.GetCommand(4, command), 1);
  EXPECT_EQ(command.command, 0xA2u);

  const ChannelNotice first = server_.TakeNotice(0);
  EXPECT_EQ(first.kind, ChannelNotice::Kind::kOwnIndexReset);
  char line[160];
  FormatChannelNotice(first, line, sizeof line);
  EXPECT_STREQ(line,
               "PointerFifo write index 70000 was outside its slots (0 to 15999): reset to the "
               "read index 0");
  FormatChannelNotice(server_.TakeNotice(0), line, sizeof line);
  EXPECT_STREQ(line,
               "CommandFifo 4 read index 900 was outside its slots (0 to 799): reset to the write "
               "index 0");
  EXPECT_EQ(server_.TakeNotice(0).kind, ChannelNotice::Kind::kNone);
}

TEST_F(FifoTest, AClosedChannelTouchesNothing) {
  EXPECT_EQ(server_.SharedMemoryClose(), 1);
  EXPECT_EQ(server_.SharedMemoryClose(), -1);
  EXPECT_EQ(server_.GetHeader(), nullptr);
  EXPECT_EQ(server_.PutPointerReport(Report(0, 0)), 0);
  EXPECT_EQ(server_.IsCommandFifoEmpty(0), 1);
  EXPECT_EQ(server_.FillTextMatches(), 0);
  // The consumer's view stays valid after the creator has gone.
  tvxhdv_info info;
  ASSERT_EQ(tvxhdv_get_info(consumer_.get(), &info), 1);
  EXPECT_EQ(info.fill_text_matches, 1);
  EXPECT_EQ(Send(1, 1), TVXHDV_NO_SERVER);  // the kit notices that the server has gone
}

}  // namespace
