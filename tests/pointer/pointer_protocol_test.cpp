#include "pointer/pointer_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/diagnostic_log.h"
#include "pointer/shared_memory_channel.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

struct ReportFields {
  int pointer = 3;
  int frame = 1;
  int x = 0x8000;
  int y = 0x8000;
  int buttonL = 0;
  int buttonR = 0;
  int ackMode = 2;
  int ackPacket = 0;
};

std::string ReportPath(const ReportFields& f) {
  char path[64];
  std::snprintf(path, sizeof path, "/tolvex%01X%02X%02X%04X%04X%04X%d%d%02X%02X", 1, 0, f.pointer,
                f.frame, f.x, f.y, f.buttonL, f.buttonR, f.ackMode, f.ackPacket);
  return path;
}

std::string Text(const ResponseText& response) {
  return std::string(response.data(), 4);
}

class PointerProtocolTest : public testing::Test {
 public:
  PointerProtocolTest() {
    std::uint32_t version = 0;
    int created = 0;
    EXPECT_EQ(channel.SharedMemoryInit(1, folder.Path(), version, created), 1)
        << channel.GetLastErrorText();
    EXPECT_EQ(channel.SharedMemoryInitComplete(), 1) << channel.GetLastErrorText();
    protocol.AttachChannel(&channel);
    consumer = OpenKit(folder.Path());
    EXPECT_NE(consumer, nullptr) << tvxhdv_last_error();
  }

  std::string Report(const ReportFields& fields) {
    return Text(protocol.HandlePointerReport(ReportPath(fields)));
  }
  std::string ReportFrom(std::uint32_t address, const ReportFields& fields) {
    return Text(protocol.HandlePointerReport(ReportPath(fields), address));
  }

  std::vector<tvxhdv_report> TakeForwarded() {
    std::vector<tvxhdv_report> records;
    tvxhdv_report record{};
    while (tvxhdv_read(consumer.get(), &record, 1) == 1) records.push_back(record);
    return records;
  }

  int Send(int pointer, unsigned code) { return tvxhdv_send(consumer.get(), pointer, code); }

  std::string LogText() { return TempFolder::ReadAll(log.Path()); }

  TempFolder folder;
  std::atomic<int> selectedPointer{3};
  int logLevel = 4;
  DiagnosticLog log{folder.File("Test.LOG")};
  std::uint32_t now = 5000;
  PointerProtocol protocol{{selectedPointer, logLevel}, log, [this] { return now; }};
  SharedMemoryChannel channel{UniqueAreaName()};
  KitHandle consumer{nullptr, &tvxhdv_close};
};

TEST_F(PointerProtocolTest, CommandRepeatsUntilEchoed) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({.frame = 1}), "01A0");
  EXPECT_NE(LogText().find("Sending Command"), std::string::npos);
  EXPECT_EQ(Report({.frame = 2}), "01A0");
  EXPECT_NE(LogText().find("ACK not yet received"), std::string::npos);
  EXPECT_EQ(Report({.frame = 3, .ackPacket = 1}), "0100");
  EXPECT_EQ(Report({.frame = 4, .ackPacket = 1}), "0100");
}

TEST_F(PointerProtocolTest, LaterButtonPressReplacesAnUntakenOne) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  protocol.QueueVibrateCommand(kVibrateLongDouble);
  EXPECT_EQ(Report({}), "01A5");
}

TEST_F(PointerProtocolTest, CommandFifoGoesBeforeTheButton) {
  PutRawCommand(*channel.GetHeader(), 3, CommandRecord{0x1B1, 0});  // only the low 8 bits count
  Send(3, 0xC2);
  protocol.QueueVibrateCommand(kVibrateNormalSingle);
  EXPECT_EQ(Report({.frame = 1}), "01B1");
  EXPECT_EQ(Report({.frame = 2, .ackPacket = 1}), "02C2");
  EXPECT_EQ(Report({.frame = 3, .ackPacket = 1}), "02C2");  // not yet echoed
  EXPECT_EQ(Report({.frame = 4, .ackPacket = 2}), "03A1");
  EXPECT_EQ(Report({.frame = 5, .ackPacket = 3}), "0300");
}

TEST_F(PointerProtocolTest, ZeroCommandRecordIsTakenWithoutANewPacket) {
  PutRawCommand(*channel.GetHeader(), 3, CommandRecord{0x100, 0});
  EXPECT_EQ(Report({}), "0000");
  EXPECT_EQ(channel.CommandFifoCount(3), 0);
}

TEST_F(PointerProtocolTest, SilenceAbandonsTheAwaitedEcho) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({.frame = 1}), "01A0");
  now += 1000;
  EXPECT_FALSE(protocol.MarkSilentPointers(now));  // exactly 1000 ms: not yet silent
  now += 500;
  EXPECT_TRUE(protocol.MarkSilentPointers(now));
  EXPECT_EQ(protocol.ReadLiveStatus().offScreen, 1);
  EXPECT_EQ(Report({.frame = 2}), "0100");
}

// The echo is tested before freshness: a stale report that echoes the
// awaited packet still ends the wait.
TEST_F(PointerProtocolTest, StaleReportWithTheEchoClearsTheAwaitedPacket) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({.frame = 1}), "01A0");
  EXPECT_EQ(Report({.frame = 0, .ackPacket = 1}), "01A0");
  EXPECT_EQ(protocol.ReadState().pendingAck[3], 0);
  EXPECT_EQ(Report({.frame = 2}), "0100");
}

// At program start every pointer is marked silent with a tick of now: none
// has reported yet. The overlay reads every pointer's last report and its tick.
TEST_F(PointerProtocolTest, NoPointerCountsAsReportingRightAfterTheResetRequest) {
  protocol.MarkAllSilent();
  EXPECT_TRUE(protocol.ReadReportingPointers().empty());
  EXPECT_FALSE(protocol.HasReportedLately(7));
  Report({.pointer = 7, .x = 0x1234, .y = 0x4321, .buttonR = 1});
  ASSERT_EQ(protocol.ReadReportingPointers().size(), 1u);
  EXPECT_TRUE(protocol.HasReportedLately(7));
  now += 3000;
  protocol.HandlePointerReport(ReportPath({.pointer = 9, .frame = 1}), 0x0A000001);
  protocol.HandlePointerReport(ReportPath({.pointer = 9, .frame = 2}), 0x0A000002);
  PointerSightings sightings;
  protocol.ReadPointerSightings(sightings);
  EXPECT_EQ(sightings.now, now);
  const PointerSighting& seven = sightings.pointers[7];
  EXPECT_EQ(std::tuple(seven.reported, seven.lastReportTick, seven.twoPhones),
            std::tuple(true, now - 3000, false));
  EXPECT_EQ(std::tuple(seven.status.x, seven.status.y, seven.status.buttonR),
            std::tuple(0x1234, 0x4321, 1));
  EXPECT_TRUE(sightings.pointers[9].twoPhones);
  EXPECT_EQ(std::count_if(sightings.pointers.begin(), sightings.pointers.end(),
                          [](const PointerSighting& s) { return s.reported; }),
            2);
  protocol.MarkAllSilent();
  protocol.ReadPointerSightings(sightings);
  EXPECT_FALSE(sightings.pointers[7].reported);
}

TEST_F(PointerProtocolTest, AReportNewerThanTheTickIsNotSilent) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({.frame = 1}), "01A0");
  // The tick read its time just before this report took the lock.
  EXPECT_FALSE(protocol.MarkSilentPointers(now - 5));
  EXPECT_EQ(protocol.ReadState().resetRequest[3], 0);
  EXPECT_EQ(Report({.frame = 2}), "01A0");  // the command is still awaited
}

TEST_F(PointerProtocolTest, FlagsAndOffScreenFollowTheReport) {
  Report({.frame = 5, .buttonL = 1, .buttonR = 1, .ackMode = 2});
  EXPECT_EQ(protocol.ReadLiveStatus().offScreen, 0);
  Report({.frame = 6, .ackMode = 0});
  EXPECT_EQ(protocol.ReadLiveStatus().offScreen, 1);
  Report({.frame = 7, .buttonL = 1, .ackMode = 2});
  EXPECT_EQ(protocol.ReadLiveStatus().offScreen, 0);
  Report({.frame = 8, .buttonL = 1, .ackMode = 1});
  EXPECT_EQ(protocol.ReadLiveStatus().offScreen, 1);

  const auto records = TakeForwarded();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].flags, 0xC300u);
  EXPECT_EQ(records[1].flags, 0u);
  EXPECT_EQ(records[3].flags, 0x0100u);
}

TEST_F(PointerProtocolTest, OtherPointersAreForwardedWithoutTouchingLiveStatus) {
  Report({.pointer = 3, .x = 100, .y = 200});
  Report({.pointer = 7, .x = 900, .y = 800, .buttonL = 1});
  const LiveStatus live = protocol.ReadLiveStatus();
  EXPECT_EQ(live.x, 100);
  EXPECT_EQ(live.y, 200);
  EXPECT_EQ(live.buttonL, 0);
  EXPECT_EQ(TakeForwarded().size(), 2u);
}

TEST_F(PointerProtocolTest, FrameZeroIsStaleButStillUpdatesLiveStatus) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({.frame = 0, .x = 1234}), "0000");
  EXPECT_TRUE(TakeForwarded().empty());
  EXPECT_EQ(protocol.ReadLiveStatus().x, 1234);
  EXPECT_EQ(protocol.ReadState().lastReportTick[3], now);
}

// A batch whose answer was lost comes again with the same frames: what came
// through is not forwarded twice. Only batches are checked, and only against
// the same phone's last frame of the last half minute; a count that starts
// again lower than the repeats' reach still counts.
TEST_F(PointerProtocolTest, ABatchSentAgainForwardsNothingTwice) {
  struct Case {
    const char* what;
    int last;
    int frame;
    std::uint32_t peer = 1;
    bool batched = true;
    std::uint32_t silence = 0;
    std::size_t forwarded = 0;
  };
  const Case cases[] = {
      {"the same frame again", 0x120, 0x120},
      {"the furthest frame back a repeat reaches", 0x120, 0x21},
      {"across the wrap of the count", 0x0005, 0xFFF0},
      {"one further back: a count started again", 0x120, 0x20, 1, true, 0, 1},
      {"the next frame", 0x120, 0x121, 1, true, 0, 1},
      {"another phone", 0x120, 0x120, 2, true, 0, 1},
      {"the single route", 0x120, 0x120, 1, false, 0, 1},
      {"a reloaded page on the single route", 0x9000, 1, 1, false, 0, 1},
      {"after the pointer left", 0x120, 0x120, 1, true, kShownKeptMs + 1, 1},
  };
  int pointer = 0;
  for (const Case& c : cases) {
    ++pointer;
    protocol.HandleBatchedReport(ReportPath({.pointer = pointer, .frame = c.last}), 1, true);
    TakeForwarded();
    now += c.silence;
    const std::string again = ReportPath({.pointer = pointer, .frame = c.frame});
    if (c.batched) {
      protocol.HandleBatchedReport(again, c.peer, false);
    } else {
      protocol.HandlePointerReport(again, c.peer);
    }
    EXPECT_EQ(TakeForwarded().size(), c.forwarded) << c.what;
  }
}

TEST_F(PointerProtocolTest, UpperCasePathDecodesLikeLowerCase) {
  EXPECT_EQ(Text(protocol.HandlePointerReport("/TOLVEX10003001080008000100201")), "0000");
  const auto records = TakeForwarded();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].frame, 16u);
  EXPECT_EQ(records[0].x, 32768u);
  EXPECT_EQ(records[0].flags, 0xC100u);
}

TEST_F(PointerProtocolTest, PacketNumbersWrapTo0AtThe256thCommand) {
  int frame = 1;
  for (int command = 1; command <= 255; ++command) {
    protocol.QueueVibrateCommand(kVibrateShortSingle);
    char expected[5];
    std::snprintf(expected, sizeof expected, "%02XA0", command);
    ASSERT_EQ(Report({.frame = frame++, .ackPacket = command - 1}), expected);
  }
  protocol.QueueVibrateCommand(kVibrateLongSingle);
  EXPECT_EQ(Report({.frame = frame++, .ackPacket = 255}), "00A2");
  EXPECT_EQ(protocol.ReadState().pendingAck[3], 0);  // packet 0 awaits no echo
}

TEST_F(PointerProtocolTest, StartClearsQueuedCommandsAndPackets) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({}), "01A0");
  protocol.QueueVibrateCommand(kVibrateLongSingle);
  protocol.ResetForServerStart();
  EXPECT_EQ(Report({.frame = 1}), "0000");
}

TEST_F(PointerProtocolTest, MalformedReportsAreAnsweredWithoutTouchingAnything) {
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  const std::string good = ReportPath({});
  const std::string rejected[] = {
      ReportPath({.pointer = 80}),
      ReportPath({.pointer = 255}),
      good.substr(0, 29),
      "/tolvex",
      "/tolvex1000zz01080008000100201",
      "/tolvex10003001080008000100-01",
  };
  for (const std::string& path : rejected) {
    EXPECT_EQ(Text(protocol.HandlePointerReport(path)), "0000") << path;
  }
  EXPECT_TRUE(TakeForwarded().empty());
  const PointerProtocolState state = protocol.ReadState();
  EXPECT_EQ(state.requestedCommand[3], kVibrateShortSingle);
  EXPECT_EQ(state.lastReportTick[3], 0u);

  // Each is traced like any report.
  const std::vector<std::string> messages = LogMessages(log.Path());
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "Extracting data from Tolvex GET request"),
            6);
}

TEST_F(PointerProtocolTest, ClosedChannelStillAnswersButForwardsNothing) {
  Send(3, 0xB1);
  channel.SharedMemoryClose();
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(Report({}), "01A0");
}

// A bad index of the server's own is reset and forwarding goes on; a bad
// index of the consumer's stops that FIFO. The log says so once each time.
TEST_F(PointerProtocolTest, BrokenFifosAreLoggedOnceEach) {
  logLevel = 0;
  SharedMemoryArea& area = *channel.GetHeader();
  area.pointerFifo.writeIndex = 16000;
  area.commandFifos[3].readIndex = 900;
  Report({.frame = 1});
  Report({.frame = 2});
  EXPECT_EQ(TakeForwarded().size(), 2u);
  area.pointerFifo.readIndex = 70000;
  Report({.frame = 4});
  Report({.frame = 5});
  EXPECT_EQ(LogMessages(log.Path()),
            (std::vector<std::string>{
                "PointerFifo write index 16000 was outside its slots (0 to 15999): reset to the "
                "read index 0",
                "CommandFifo 3 read index 900 was outside its slots (0 to 799): reset to the "
                "write index 0",
                "PointerFifo unusable: write index 2, read index 70000 (slots 0 to 15999)"}));
}

// A consumer flipping its read index between bad and good breaks the FIFO
// on every other report; the log says so once a minute.
TEST_F(PointerProtocolTest, AFifoBrokenAgainAndAgainIsLoggedOnceAMinute) {
  logLevel = 0;
  SharedMemoryArea& area = *channel.GetHeader();
  const auto flipAndReport = [&](int reports) {
    for (int frame = 1; frame <= reports; ++frame) {
      area.pointerFifo.readIndex = frame % 2 != 0 ? 70000 : area.pointerFifo.writeIndex;
      Report({.frame = frame});
      now += 100;
    }
  };
  flipAndReport(590);
  EXPECT_EQ(LogMessages(log.Path()).size(), 1u);
  flipAndReport(20);
  const std::vector<std::string> messages = LogMessages(log.Path());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[1].starts_with("PointerFifo unusable: write index"));

  // Broken once more within the minute and left so: told once it is over.
  area.pointerFifo.readIndex = area.pointerFifo.writeIndex;
  Report({.frame = 1});
  area.pointerFifo.readIndex = 70000;
  for (int frame = 1; frame <= 610; ++frame, now += 100) Report({.frame = frame});
  EXPECT_EQ(LogMessages(log.Path()).size(), 3u);
}

// Two phones on one number: the list marks the pointer while both report,
// and the log says so once a minute.
TEST_F(PointerProtocolTest, TwoAddressesOnOnePointerAreMarkedAndLoggedOnceAMinute) {
  logLevel = 0;
  constexpr std::uint32_t kPhoneA = 0xC0A80114;  // 192.168.1.20
  constexpr std::uint32_t kPhoneB = 0xC0A80115;
  int frame = 1;
  const auto reportFrom = [&](std::uint32_t address, int pointer) {
    protocol.HandlePointerReport(ReportPath({.pointer = pointer, .frame = frame++}), address);
    now += 100;
  };
  const auto twoPhones = [&] {
    std::vector<int> marked;
    for (const ReportingPointer& p : protocol.ReadReportingPointers()) {
      if (p.twoPhones) marked.push_back(p.pointer);
    }
    return marked;
  };
  reportFrom(kPhoneA, 3);
  reportFrom(kPhoneA, 3);
  reportFrom(kPhoneB, 7);
  EXPECT_TRUE(twoPhones().empty());
  for (int i = 0; i < 100; ++i) reportFrom(i % 2 == 0 ? kPhoneB : kPhoneA, 3);  // ten seconds
  EXPECT_EQ(twoPhones(), std::vector<int>{3});
  for (int i = 0; i < 11; ++i) reportFrom(kPhoneA, 3);  // B is gone
  EXPECT_TRUE(twoPhones().empty());

  const std::string line =
      "Pointer 03 reported from two addresses within a second (192.168.1.20, 192.168.1.21): "
      "two phones on one number?";
  EXPECT_EQ(LogMessages(log.Path()), std::vector<std::string>{line});
  now += PointerPeers::kTellAgainMs;
  reportFrom(kPhoneB, 3);
  reportFrom(kPhoneA, 3);
  EXPECT_EQ(LogMessages(log.Path()).size(), 2u);
}

// The phone that came second on a number is told so in its answer and moves
// nothing; the first keeps the number, its commands and its echo. Once the
// first has been silent for a second, the number is free again.
TEST_F(PointerProtocolTest, TheSecondPhoneOnANumberIsToldAndMovesNothing) {
  constexpr std::uint32_t kFirst = 0xC0A80114;
  constexpr std::uint32_t kSecond = 0xC0A80115;
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 1, .x = 100}), "0000");
  TakeForwarded();
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  now += 100;
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 9, .x = 900, .buttonL = 1, .ackPacket = 0}), "00FF");
  EXPECT_EQ(TakeForwarded().size(), 1u) << "the application still gets every fresh report";
  EXPECT_EQ(protocol.ReadLiveStatus().x, 100);
  EXPECT_EQ(protocol.ReadLiveStatus().buttonL, 0);
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 2, .x = 200}), "01A0")
      << "the command waited for the first";
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 10, .ackPacket = 1}), "01FF");
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 3}), "01A0") << "the second's echo is not the first's";
  EXPECT_EQ(TakeForwarded().size(), 3u);

  // An application's FF would tell the first that it is second: the kit
  // refuses it, and one put without the kit is dropped.
  EXPECT_EQ(Send(3, kAnotherPhoneCode), TVXHDV_BAD_ARGUMENT);
  ASSERT_EQ(PutRawCommand(*channel.GetHeader(), 3, CommandRecord{kAnotherPhoneCode, 0}), 1);
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 4, .ackPacket = 1}), "0100");

  now += PointerPeers::kTogetherMs + 1;
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 11, .x = 900}), "0100");
  EXPECT_EQ(protocol.ReadLiveStatus().x, 900);
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 5}), "01FF");
}

// A freed number's phone hears FE once, in place of a waiting command, and
// the number is anybody's from then; FE from an application is dropped. A
// number that passes to another phone leaves the old phone's name behind.
TEST_F(PointerProtocolTest, AFreedNumberIsToldOnceAndANewHolderDropsTheName) {
  constexpr std::uint32_t kFirst = 0x7F000002;
  constexpr std::uint32_t kSecond = 0x7F000003;
  PointerNames names;
  protocol.AttachNames(&names);
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 1}), "0000");
  EXPECT_TRUE(protocol.Holds(3, kFirst));
  EXPECT_FALSE(protocol.Holds(3, kSecond));
  EXPECT_FALSE(protocol.Holds(4, kFirst));

  ASSERT_EQ(names.Set(3, "Mia"), PointerNames::Refusal::kNone);
  now += PointerPeers::kTogetherMs + 1;
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 7}), "0000");
  EXPECT_TRUE(protocol.Holds(3, kSecond));
  EXPECT_EQ(names.Get(3), "") << "the name was the first phone's";

  EXPECT_EQ(Send(3, kNumberFreedCode), TVXHDV_BAD_ARGUMENT);
  ASSERT_EQ(PutRawCommand(*channel.GetHeader(), 3, CommandRecord{kNumberFreedCode, 0}), 1);
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 8}), "0000");
  protocol.QueueVibrateCommand(kVibrateShortSingle);
  protocol.FreeNumber(3);
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 9}), "00FE");
  EXPECT_FALSE(protocol.Holds(3, kSecond));
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 2}), "01A0") << "the next phone takes the number at once";
  EXPECT_TRUE(protocol.Holds(3, kFirst));

  // A name sent between the teacher's hand and the phone's answer goes with the number.
  protocol.FreeNumber(3);
  ASSERT_EQ(names.Set(3, "Mia"), PointerNames::Refusal::kNone);
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 3, .ackPacket = 1}), "01FE");
  EXPECT_EQ(names.Get(3), "");
  // Freed again with nobody on it, or freed while its phone is gone: the
  // phone that picks it next is not told.
  protocol.FreeNumber(3);
  EXPECT_EQ(ReportFrom(kSecond, {.frame = 10, .ackPacket = 1}), "0100");
  protocol.FreeNumber(3);
  now += PointerPeers::kTogetherMs + 1;
  EXPECT_EQ(ReportFrom(kFirst, {.frame = 4, .ackPacket = 1}), "0100");
  EXPECT_TRUE(protocol.Holds(3, kFirst));
}

// A page as the phone runs it: it echoes the last packet it saw and runs
// the code of every packet it has not seen before. A page loaded again
// starts from packet 0.
struct PageModel {
  PageModel(PointerProtocolTest& owner, int number, int firstFrame = 1)
      : test(owner), pointer(number), frame(firstFrame) {}

  PointerProtocolTest& test;
  int pointer;
  int frame;
  int ackPacket = 0;
  std::vector<int> ran;

  void Steps(int count) {
    for (int i = 0; i < count; ++i) {
      const std::string answer =
          test.Report({.pointer = pointer, .frame = frame++, .ackPacket = ackPacket});
      const int packet = std::stoi(answer.substr(0, 2), nullptr, 16);
      const int code = std::stoi(answer.substr(2, 2), nullptr, 16);
      if (packet == ackPacket) continue;
      ackPacket = packet;
      if (code != 0) ran.push_back(code);
    }
  }
};

// The last show code is sent again to a page loaded again, at once (the old
// page's packet still awaited) and after a silence, until the pointer has
// been gone too long or the server starts again.
TEST_F(PointerProtocolTest, ALoadedAgainPageGetsTheLastShowCodeAgain) {
  struct Case {
    std::vector<unsigned> sent;
    std::vector<int> again;
    std::uint32_t silence = 5000;
    bool serverStart = false;
    std::vector<int> late = again;
  };
  const Case cases[] = {
      {{0xC2}, {0xC2}},
      {{0xD5, 0xB1, 0xA1}, {0xB1}},  // the last show, not the vibration after it
      {{0xC2, 0xB0}, {}},            // cleared
      {{0xA1}, {}},                  // a vibration shows nothing
      {{0xC4}, {0xC4}, kShownKeptMs},
      {{0xC4}, {0xC4}, kShownKeptMs + 1, false, {}},
      {{0xC4}, {0xC4}, 0, true, {}},
  };
  int pointer = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(pointer);
    PageModel page{*this, pointer};
    for (const unsigned code : c.sent) {
      ASSERT_EQ(Send(pointer, code), TVXHDV_OK);
      page.Steps(2);
    }
    page.Steps(2);
    ASSERT_EQ(page.ran.size(), c.sent.size());
    PageModel quick{*this, pointer, page.frame};
    quick.Steps(3);
    EXPECT_EQ(quick.ran, c.again);
    now += c.silence;
    protocol.MarkSilentPointers(now);
    if (c.serverStart) protocol.ResetForServerStart();
    PageModel late{*this, pointer, quick.frame};
    late.Steps(3);
    EXPECT_EQ(late.ran, c.late);
    ++pointer;
  }
}

TEST_F(PointerProtocolTest, ConcurrentReportersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kReportsPerThread = 500;  // well below the FIFO's capacity
  std::vector<std::thread> reporters;
  for (int t = 0; t < kThreads; ++t) {
    reporters.emplace_back([this, t] {
      for (int frame = 1; frame <= kReportsPerThread; ++frame) {
        protocol.HandlePointerReport(ReportPath({.pointer = 10 + t, .frame = frame, .x = frame}));
      }
    });
  }
  for (auto& thread : reporters) thread.join();

  std::map<std::uint32_t, std::uint32_t> lastFrameOf;
  std::map<std::uint32_t, int> countOf;
  for (const tvxhdv_report& record : TakeForwarded()) {
    EXPECT_EQ(record.x, record.frame);
    EXPECT_GT(record.frame, lastFrameOf[record.pointer]);  // each phone's order is kept
    lastFrameOf[record.pointer] = record.frame;
    ++countOf[record.pointer];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(countOf[10 + t], kReportsPerThread);
}

}  // namespace
