#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "app/timer_tick.h"
#include "app/timer_tick_adapters.h"

namespace {

struct MouseEvent {
  std::uint32_t flags;
  std::int32_t x;
  std::int32_t y;
};

class FakeMouseAndKeys : public MouseAndKeys {
 public:
  bool IsAvailable() override { return true; }
  bool IsCtrlHeld() override { return ctrl; }
  bool IsShiftHeld() override { return shift; }
  bool SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) override {
    events.push_back({flags, x, y});
    return true;
  }

  bool ctrl = false;
  bool shift = false;
  std::vector<MouseEvent> events;
};

// The selected pointer as the protocol keeps it: silent after more than a
// second without a report, and then shown off screen.
class FakePointers : public PointerStatusSource {
 public:
  bool MarkSilentPointers(std::uint32_t now) override {
    if (now - lastReportTick <= 1000) return false;
    status.offScreen = 1;
    return true;
  }
  LiveStatus ReadLiveStatus() override { return status; }
  void ReleaseCursor() override { calls += "release "; }
  void HoldCursor() override { calls += "hold "; }

  std::uint32_t lastReportTick = 0;
  LiveStatus status;
  std::string calls;  // what the tick asked of the cursor
};

class FakeStatistics : public StatisticsSource {
 public:
  void GetStatistics(ServerStats& out) override { out = stats; }
  ServerStats stats;
};

class TimerTickTest : public testing::Test {
 protected:
  // Runs one tick at the current clock and moves the clock on by 200 ms.
  void Tick() {
    tick.Run();
    now += 200;
  }

  TimerTickTest() { state.statistics.requestsPerSecond = kUntouched; }

  static constexpr const char* kUntouched = "<untouched>";
  std::uint32_t now = 500;
  std::atomic<bool> emulation{true};
  FakeMouseAndKeys input;
  FakePointers pointers;
  FakeStatistics statistics;
  DialogState state;
  TimerTick tick{
      TimerTickWiring{[this] { return now; }, input, pointers, statistics, emulation, state}};
};

TEST_F(TimerTickTest, SelectedPointerGoesOffScreenAfterMoreThanASecondOfSilence) {
  pointers.lastReportTick = now = 5000;
  now += 1000;
  tick.Run();
  EXPECT_FALSE(state.live.offScreen);
  now += 1;
  tick.Run();
  EXPECT_TRUE(state.live.offScreen);
}

// The chord switches emulation off, and releases the cursor that each tick
// holds, until the operator acts; while off it changes nothing.
TEST_F(TimerTickTest, CtrlShiftChordSwitchesEmulationOffUntilTheOperatorActs) {
  state.cursorEmulation = true;
  input.ctrl = true;
  Tick();  // Ctrl alone is no chord
  input.shift = true;
  Tick();
  EXPECT_FALSE(emulation);
  EXPECT_FALSE(state.cursorEmulation);
  Tick();  // the chord while off: released again, nothing else
  input.ctrl = input.shift = false;
  Tick();
  EXPECT_FALSE(emulation);
  emulation = true;
  Tick();
  EXPECT_TRUE(emulation);
  EXPECT_EQ(pointers.calls, "hold release release hold ");
  // The cursor follows the reports, not the tick.
  EXPECT_TRUE(input.events.empty());
}

TEST_F(TimerTickTest, ShowsPointerAndStatisticsAsTheDialogFormatsThem) {
  pointers.lastReportTick = now;
  pointers.status = LiveStatus{.x = 12345, .y = 0, .buttonL = 1, .buttonR = 0, .offScreen = 0};
  statistics.stats = ServerStats{
      .activeConnections = 3, .requests = 77, .kbSent = 12.34, .kbReceived = 0.06, .visitors = 2};
  Tick();
  EXPECT_EQ(state.live.x, "12345");
  EXPECT_EQ(state.live.y, "0");
  const DialogStatistics& shown = state.statistics;
  EXPECT_EQ(shown.activeConnections, "3");
  EXPECT_EQ(shown.kbReceived, "0.1");
  EXPECT_EQ(shown.kbSent, "12.3");
  EXPECT_EQ(shown.requests, "77");
  EXPECT_EQ(shown.visitors, "2");
  EXPECT_TRUE(state.live.buttonL);
  EXPECT_FALSE(state.live.buttonR);
  EXPECT_FALSE(state.live.offScreen);

  pointers.status.offScreen = 1;
  pointers.status.buttonR = 1;
  Tick();
  EXPECT_TRUE(state.live.offScreen);
  EXPECT_TRUE(state.live.buttonR);
}

class RequestsPerSecondTest : public TimerTickTest {
 protected:
  // Ticks every 200 ms with the request counter growing by 10 per tick;
  // returns the Requests/Sec field's text after each tick.
  std::vector<std::string> Shown(int ticks) {
    std::vector<std::string> shown;
    for (int i = 0; i < ticks; ++i) {
      statistics.stats.requests += 10;
      Tick();
      shown.push_back(state.statistics.requestsPerSecond);
    }
    return shown;
  }
};

TEST_F(RequestsPerSecondTest, FirstValueComesASecondAfterTheFirstTickWithAllRequestsSoFar) {
  statistics.stats.requests = 40;
  const std::string none = kUntouched;
  // First sample at the first tick; the next written a second later, at the sixth.
  EXPECT_EQ(Shown(7), (std::vector<std::string>{none, none, none, none, none, "100", "100"}));
  EXPECT_EQ(Shown(5), (std::vector<std::string>{"100", "100", "100", "50", "50"}));
}

TEST_F(RequestsPerSecondTest, IntervalEndsAcrossTheWrapOfTheTickCount) {
  now = 0xFFFFFF00;
  Shown(1);
  const std::string none = kUntouched;
  EXPECT_EQ(Shown(5), (std::vector<std::string>{none, none, none, none, "60"}));
}

TEST_F(RequestsPerSecondTest, ServerRestartDoesNotShowANegativeRate) {
  Shown(6);
  ASSERT_EQ(state.statistics.requestsPerSecond, "60");
  statistics.stats.requests = 0;  // Start zeroes the counter; the sample lives on
  EXPECT_EQ(Shown(5).back(), "50");
}

// The program's adapters compile against the tick's interfaces.
static_assert(std::is_base_of_v<PointerStatusSource, ProtocolPointerStatus>);
static_assert(std::is_base_of_v<StatisticsSource, EngineStatistics>);

}  // namespace
