// tvxhdv.h against the server's side of an area made in this process: the
// kit's own rules (presence, the order of joins and reports, the codes it
// lets out, how its waits sleep), each with a clock the test moves on.

// The library's clock, moved on by the tests to stand for time passing; its
// look at the server's process pushed far away, so that only a put can end
// a sleeping wait before its timeout.
static unsigned long long clockSkewMs = 0;
#define TVXHDV_NOW_MS() (tvxhdv__system_ms() + clockSkewMs)
#define TVXHDV__CHECK_MS 600000u
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "tests/pointer/channel_fixture.h"

namespace {

class KitInProcessTest : public ChannelTest {
 protected:
  void SetUp() override {
    CreateServer();
    OpenConsumer();
  }

  tvxhdv* Kit() { return consumer_.get(); }

  void Put(std::uint32_t pointer) {
    ASSERT_EQ(server_.PutPointerReport(Report(pointer, ++frame_)), 1);
  }

  int ReadAll() {
    tvxhdv_report reports[64];
    int total = 0;
    for (int count; (count = tvxhdv_read(Kit(), reports, 64)) > 0;) total += count;
    return total;
  }

  // The presence changes waiting, as pointer + 100 for a join.
  std::vector<unsigned> Changes() {
    std::vector<unsigned> taken;
    tvxhdv_presence_change changes[16];
    for (int count; (count = tvxhdv_presence(Kit(), changes, 16)) > 0;) {
      for (int i = 0; i < count; ++i)
        taken.push_back(changes[i].pointer + 100u * changes[i].joined);
    }
    return taken;
  }

  std::uint32_t frame_ = 0;
};

// A phone reporting every 300 ms stays present, past a second since it
// joined; so does one that goes on every 20 ms while the consumer stalls
// for 2 s: its reports wait in the area. A second of silence is a leave.
TEST_F(KitInProcessTest, PhonesThatGoOnReportingStayPresent) {
  Put(12);
  ASSERT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_PRESENCE);
  EXPECT_EQ(Changes(), std::vector<unsigned>{112});
  EXPECT_EQ(ReadAll(), 1);
  for (int step = 0; step < 4; ++step) {
    clockSkewMs += 300;
    Put(12);
    EXPECT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_REPORTS) << "step " << step;
    EXPECT_EQ(ReadAll(), 1);
  }
  for (int step = 0; step < 100; ++step, clockSkewMs += 20) Put(12);
  unsigned char present[TVXHDV_POINTERS] = {0};
  tvxhdv_present(Kit(), present);
  EXPECT_EQ(present[12], 1);
  EXPECT_EQ(Changes(), std::vector<unsigned>{});
  EXPECT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_REPORTS);
  EXPECT_EQ(ReadAll(), 100);
  clockSkewMs += 1001;
  EXPECT_EQ(Changes(), std::vector<unsigned>{12});
}

// Once the consumer follows the joins, a report that came after its last
// wait waits for the join to be told, in the area and when moved into the
// handle; one that never asks reads at once.
TEST_F(KitInProcessTest, AReportWaitsUntilItsPhonesJoinWasTold) {
  Put(4);
  EXPECT_EQ(ReadAll(), 1);
  EXPECT_EQ(Changes(), std::vector<unsigned>{104});

  Put(4);
  Put(5);
  Put(4);
  tvxhdv_report report{};
  ASSERT_EQ(tvxhdv_read(Kit(), &report, 1), 1);
  EXPECT_EQ(report.pointer, 4u);
  EXPECT_EQ(ReadAll(), 0);
  EXPECT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_PRESENCE);  // told, though not taken
  EXPECT_EQ(ReadAll(), 2);
  EXPECT_EQ(Changes(), std::vector<unsigned>{105});

  Put(6);
  ASSERT_EQ(tvxhdv_latest(Kit(), 6, &report, nullptr), 1);
  EXPECT_EQ(ReadAll(), 0);
  EXPECT_EQ(Changes(), std::vector<unsigned>{106});
  EXPECT_EQ(ReadAll(), 1);

  // Skip drops what latest moved into the handle too.
  Put(4);
  Put(4);
  ASSERT_EQ(tvxhdv_latest(Kit(), 4, nullptr, nullptr), 1);
  EXPECT_EQ(tvxhdv_skip(Kit()), 2);
  EXPECT_EQ(ReadAll(), 0);
}

// Every code the server delivers goes out as it is; the ones it drops, and
// a colour or digit out of range, are refused rather than becoming another.
TEST_F(KitInProcessTest, OnlyCodesThatReachAPhoneGoOut) {
  // What the call said, and the code the server took (-1: none).
  const auto outcome = [&](int result) {
    CommandRecord taken;
    return std::pair(result,
                     server_.GetCommand(7, taken) == 1 ? static_cast<int>(taken.command) : -1);
  };
  const std::pair<int, int> refused{TVXHDV_BAD_ARGUMENT, -1};
  for (const int code : {0x01, 0xFD}) {
    EXPECT_EQ(outcome(tvxhdv_send(Kit(), 7, code)), std::pair(TVXHDV_OK, code)) << code;
  }
  for (const int code : {0x00, 0xFE, 0xFF, 0x100, TVXHDV_SHOW_COLOR(16), TVXHDV_SHOW_NUMBER(-32)}) {
    EXPECT_EQ(outcome(tvxhdv_send(Kit(), 7, static_cast<unsigned>(code))), refused) << code;
  }
  const std::pair<int, int> shown[] = {
      {TVXHDV_SHOW_CLEAR, 0xB0},    {TVXHDV_SHOW_WRONG, 0xB2},     {TVXHDV_SHOW_COLOR(0), 0xC0},
      {TVXHDV_SHOW_COLOR(7), 0xC7}, {TVXHDV_SHOW_NUMBER(0), 0xD0}, {TVXHDV_SHOW_NUMBER(9), 0xD9}};
  for (const auto& [what, code] : shown) {
    EXPECT_EQ(outcome(tvxhdv_show(Kit(), 7, what)), std::pair(TVXHDV_OK, code)) << what;
  }
  for (const int what : {TVXHDV_SHOW_CLEAR - 1, TVXHDV_SHOW_WRONG + 1, TVXHDV_SHOW_COLOR(-16),
                         TVXHDV_SHOW_COLOR(-1), TVXHDV_SHOW_COLOR(8), TVXHDV_SHOW_COLOR(16),
                         TVXHDV_SHOW_NUMBER(-1), TVXHDV_SHOW_NUMBER(10)}) {
    EXPECT_EQ(outcome(tvxhdv_show(Kit(), 7, what)), refused) << what;
  }
}

// Clearing empties what waits, across the ring's end too, and moves no
// index (the server's alone); what is put next follows the emptied records.
TEST_F(KitInProcessTest, ClearingTheQueueEmptiesWhatWaitsAcrossTheRingsEnd) {
  CommandRecord taken;
  const auto take = [&] { return server_.GetCommand(7, taken) == 1 ? static_cast<int>(taken.command) : -1; };
  for (int i = 0; i < 799; ++i) ASSERT_EQ(tvxhdv_send(Kit(), 7, TVXHDV_SHORT_SINGLE), TVXHDV_OK);
  for (int i = 0; i < 795; ++i) ASSERT_EQ(take(), TVXHDV_SHORT_SINGLE);
  for (const int code : {0xB1, 0xC5, 0xD9}) ASSERT_EQ(tvxhdv_send(Kit(), 7, code), TVXHDV_OK);
  ASSERT_EQ(tvxhdv_send(Kit(), 8, 0xA1), TVXHDV_OK);
  EXPECT_EQ(tvxhdv_clear_queue(Kit(), 7), 7);
  EXPECT_EQ(tvxhdv_clear_queue(Kit(), 7), 0);  // emptied records are not counted again
  ASSERT_EQ(tvxhdv_send(Kit(), 7, 0xA4), TVXHDV_OK);
  std::vector<int> codes;
  for (int code; (code = take()) != -1;) codes.push_back(code);
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0xA4}));
  EXPECT_EQ(server_.GetCommand(8, taken), 1);  // another pointer's stays
  EXPECT_EQ(taken.command, 0xA1u);
  EXPECT_EQ(tvxhdv_clear_queue(Kit(), 80), TVXHDV_BAD_ARGUMENT);
}

// A wait asleep in the kit wakes at the put, not at its next look at the
// server (set ten minutes away here).
TEST_F(KitInProcessTest, ASleepingWaitWakesAtThePut) {
  ASSERT_NE(Kit()->wake, nullptr);
  const std::atomic_ref<std::uint32_t> sleepers(*reinterpret_cast<std::uint32_t*>(Kit()->wake));
  std::thread putter([&] {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sleepers.load() == 0 && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::yield();
    }
    Put(3);
  });
  const auto start = std::chrono::steady_clock::now();
  const int event = tvxhdv_wait(Kit(), 60000);
  const auto waited = std::chrono::steady_clock::now() - start;
  putter.join();
  EXPECT_EQ(event, TVXHDV_PRESENCE);
  EXPECT_LT(waited, std::chrono::seconds(20));
}

// A gathering wait returns at once for the first report after a quiet
// spell, then no sooner than the gathering time after its last return.
TEST_F(KitInProcessTest, AGatheringWaitReturnsAtMostOncePerGatheringTime) {
  Put(3);
  ASSERT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_PRESENCE);
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 30000, 300), TVXHDV_REPORTS);
  EXPECT_EQ(ReadAll(), 1);
  clockSkewMs += 5000;  // a quiet spell
  Put(3);
  const auto quiet = std::chrono::steady_clock::now();
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 30000, 5000), TVXHDV_REPORTS);
  EXPECT_LT(std::chrono::steady_clock::now() - quiet, std::chrono::milliseconds(2500));
  const auto returned = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadAll(), 1);
  Put(3);
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 30000, 300), TVXHDV_REPORTS);
  // Less the step of the kit's clock, up to 16 ms on Windows.
  EXPECT_GE(std::chrono::steady_clock::now() - returned, std::chrono::milliseconds(300 - 20));
  EXPECT_EQ(ReadAll(), 1);
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 0, 300), TVXHDV_TIMEOUT);  // no nap when it may not wait
  Put(3);
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 30000, 5000), TVXHDV_REPORTS);
  EXPECT_EQ(ReadAll(), 1);
  const auto napping = std::chrono::steady_clock::now();
  EXPECT_EQ(tvxhdv_wait_gathered(Kit(), 20, 5000), TVXHDV_TIMEOUT);  // the nap ends with the timeout
  EXPECT_LT(std::chrono::steady_clock::now() - napping, std::chrono::milliseconds(2500));
}

// A handle that never asked for a name hears of none; once it asked, a
// rename wakes a sleeping wait (the look at the server is ten minutes away
// here) and is told as TVXHDV_RENAMED, a dropped name too.
TEST_F(KitInProcessTest, NamesReachTheKitAndRenamesAreTold) {
  server_.PublishName(5, "Mia");
  EXPECT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_TIMEOUT);
  EXPECT_EQ(Changes(), std::vector<unsigned>{});

  char name[TVXHDV_NAME_MAX + 1];
  ASSERT_EQ(tvxhdv_name(Kit(), 5, name, sizeof name), 3);
  EXPECT_STREQ(name, "Mia");
  EXPECT_EQ(tvxhdv_name(Kit(), 6, name, sizeof name), 0);
  EXPECT_STREQ(name, "");

  const std::atomic_ref<std::uint32_t> sleepers(*reinterpret_cast<std::uint32_t*>(Kit()->wake));
  std::thread renamer([&] {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sleepers.load() == 0 && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::yield();
    }
    server_.PublishName(5, "Ol\xC3\xA9 \xF0\x9F\x98\x80");
  });
  const auto start = std::chrono::steady_clock::now();
  const int event = tvxhdv_wait(Kit(), 60000);
  const auto waited = std::chrono::steady_clock::now() - start;
  renamer.join();
  EXPECT_EQ(event, TVXHDV_PRESENCE);
  EXPECT_LT(waited, std::chrono::seconds(20));
  EXPECT_EQ(Changes(), std::vector<unsigned>{5 + 100 * TVXHDV_RENAMED});
  ASSERT_EQ(tvxhdv_name(Kit(), 5, name, sizeof name), 9);
  EXPECT_STREQ(name, "Ol\xC3\xA9 \xF0\x9F\x98\x80");

  // A short buffer takes what fits, without the NUL; the length says more.
  char shortBuffer[3] = {'x', 'x', 'x'};
  EXPECT_EQ(tvxhdv_name(Kit(), 5, shortBuffer, 2), 9);
  EXPECT_EQ(std::string(shortBuffer, 3), "Olx");
  EXPECT_EQ(tvxhdv_name(Kit(), 5, nullptr, 0), 9);
  EXPECT_EQ(tvxhdv_name(Kit(), TVXHDV_POINTERS, name, sizeof name), TVXHDV_BAD_ARGUMENT);

  server_.PublishName(5, "");
  EXPECT_EQ(tvxhdv_wait(Kit(), 0), TVXHDV_PRESENCE);
  EXPECT_EQ(Changes(), std::vector<unsigned>{5 + 100 * TVXHDV_RENAMED});
  EXPECT_EQ(tvxhdv_name(Kit(), 5, name, sizeof name), 0);
}

// A name read while the server writes another is one or the other, whole.
TEST_F(KitInProcessTest, ANameIsNeverReadHalfWritten) {
  const std::string first(96, 'a');
  const std::string second(96, 'b');
  std::atomic<bool> done{false};
  // The writer lets the reader in between two names now and then: on a
  // busy machine (or under wine) a writer that never pauses can keep every
  // read of the slot from completing, and the test would prove nothing.
  std::thread writer([&] {
    for (int i = 0; !done.load(); ++i) {
      server_.PublishName(9, i % 2 == 0 ? first : second);
      if (i % 16 == 0) std::this_thread::yield();
    }
  });
  char name[TVXHDV_NAME_MAX + 1];
  int whole = 0;
  std::string torn;
  const auto stopAt = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (whole < 200 && torn.empty() && std::chrono::steady_clock::now() < stopAt) {
    const int length = tvxhdv_name(Kit(), 9, name, sizeof name);
    if (length == 0) continue;  // the writer kept the slot busy, or had not begun
    if (name == first || name == second) {
      ++whole;
    } else {
      torn = name;
    }
  }
  done = true;
  writer.join();
  EXPECT_EQ(torn, "");
  EXPECT_GT(whole, 0);
}

}  // namespace
