#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/timer_tick.h"

namespace {

// The selected pointer's status as the test sets it.
class FakePointers : public PointerStatusSource {
 public:
  bool MarkSilentPointers(std::uint32_t) override { return false; }
  LiveStatus ReadLiveStatus() override { return status; }

  LiveStatus status;
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

  // Ticks with the request counter growing by 10 per tick; the
  // Requests/Sec field's text after each tick.
  std::vector<std::string> Shown(int ticks) {
    std::vector<std::string> shown;
    for (int i = 0; i < ticks; ++i) {
      statistics.stats.requests += 10;
      Tick();
      shown.push_back(state.statistics.requestsPerSecond);
    }
    return shown;
  }

  TimerTickTest() { state.statistics.requestsPerSecond = none; }

  const std::string none = "<untouched>";
  std::uint32_t now = 500;
  FakePointers pointers;
  FakeStatistics statistics;
  DialogState state;
  TimerTick tick{TimerTickWiring{[this] { return now; }, pointers, statistics, state}};
};

// X, Y and the button indicators are checked through the windows
// (qt_window_test, dialog_window_test) and the console's status line.
TEST_F(TimerTickTest, ShowsTheStatisticsAsTheDialogFormatsThemAndTheOffScreenBox) {
  statistics.stats = ServerStats{
      .activeConnections = 3, .requests = 77, .kbSent = 12.34, .kbReceived = 0.06, .visitors = 2};
  pointers.status.offScreen = 1;
  Tick();
  const DialogStatistics& shown = state.statistics;
  EXPECT_EQ(shown.activeConnections, "3");
  EXPECT_EQ(shown.kbReceived, "0.1");
  EXPECT_EQ(shown.kbSent, "12.3");
  EXPECT_EQ(shown.requests, "77");
  EXPECT_EQ(shown.visitors, "2");
  EXPECT_TRUE(state.live.offScreen);
}

// A count that stopped at its limit is shown as a lower bound; refused
// phones follow apart.
TEST_F(TimerTickTest, VisitorsShowTheirCapAndTheRefusedPhones) {
  const struct {
    ServerStats stats;
    const char* shown;
  } cases[] = {
      {{.visitors = 65536}, "65536"},
      {{.visitors = 65536, .visitorsCapped = true}, "65536+"},
      {{.visitors = 12, .refusedPhones = 3}, "12, 3 refused"},
      {{.visitors = 0, .refusedPhones = 65536, .refusedPhonesCapped = true}, "0, 65536+ refused"},
  };
  for (const auto& c : cases) {
    statistics.stats = c.stats;
    Tick();
    EXPECT_EQ(state.statistics.visitors, c.shown);
  }
}

// The first rate comes a second after the first tick, with all requests so
// far; that second ends across the wrap of the tick count. Start zeroes the
// counter while the sample lives on: no negative rate.
TEST_F(TimerTickTest, RequestsPerSecondAcrossTheWrapAndARestart) {
  now = 0xFFFFFF00;
  statistics.stats.requests = 40;
  EXPECT_EQ(Shown(7), (std::vector<std::string>{none, none, none, none, none, "100", "100"}));
  EXPECT_EQ(Shown(4), (std::vector<std::string>{"100", "100", "100", "50"}));
  statistics.stats.requests = 0;
  EXPECT_EQ(Shown(5).back(), "50");
}

}  // namespace
