#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "pointer/timer_tick.h"
#include "pointer/timer_tick_adapters.h"

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
  void SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) override {
    events.push_back({flags, x, y});
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

  void Report(std::int32_t buttonL, std::int32_t buttonR) {
    status.buttonL = buttonL;
    status.buttonR = buttonR;
  }

  std::uint32_t lastReportTick = 0;
  LiveStatus status;
};

class FakeStatistics : public StatisticsSource {
 public:
  void GetStatistics(ServerStats& out) override { out = stats; }
  ServerStats stats;
};

// Keeps every field's latest state and the order in which the texts were written.
class RecordingView : public LiveStatusView {
 public:
  void ShowX(const std::string& text) override { Write("X", text); }
  void ShowY(const std::string& text) override { Write("Y", text); }
  void ShowButtons(bool, bool) override { ++repaints; }
  void ShowOffScreen(bool offScreen) override { boxes["OffScreen"] = offScreen; }
  void ShowCursorEmulation(bool on) override { boxes["CursorEmulation"] = on; }
  void ShowActiveConnections(const std::string& text) override { Write("Active", text); }
  void ShowKbReceived(const std::string& text) override { Write("KbReceived", text); }
  void ShowKbSent(const std::string& text) override { Write("KbSent", text); }
  void ShowRequests(const std::string& text) override { Write("Requests", text); }
  void ShowRequestsPerSecond(const std::string& text) override { Write("Requests/Sec", text); }
  void ShowVisitors(const std::string& text) override { Write("Visitors", text); }

  std::string Text(const std::string& field) const {
    const auto found = texts.find(field);
    return found == texts.end() ? "<untouched>" : found->second;
  }

  std::map<std::string, std::string> texts;
  std::map<std::string, bool> boxes;
  std::vector<std::string> writes;
  int repaints = 0;

 private:
  void Write(const std::string& field, const std::string& text) {
    texts[field] = text;
    writes.push_back(field);
  }
};

class TimerTickTest : public testing::Test {
 protected:
  // Runs one tick at the current clock and moves the clock on by 200 ms.
  void Tick() {
    tick.Run();
    now += 200;
  }
  std::vector<std::uint32_t> SentFlags() const {
    std::vector<std::uint32_t> flags;
    for (const MouseEvent& event : input.events) flags.push_back(event.flags);
    return flags;
  }

  std::uint32_t now = 500;
  std::atomic<bool> emulation{true};
  FakeMouseAndKeys input;
  FakePointers pointers;
  FakeStatistics statistics;
  RecordingView view;
  TimerTick tick{
      TimerTickWiring{[this] { return now; }, input, pointers, statistics, emulation, view}};
};

TEST_F(TimerTickTest, SelectedPointerGoesOffScreenAfterMoreThanASecondOfSilence) {
  pointers.lastReportTick = now = 5000;
  now += 1000;
  tick.Run();
  EXPECT_FALSE(view.boxes["OffScreen"]);
  now += 1;
  tick.Run();
  EXPECT_TRUE(view.boxes["OffScreen"]);
}

TEST_F(TimerTickTest, ButtonChangesBetweenTicksBecomeOneEventEach) {
  pointers.status.x = 65535;
  pointers.status.y = 65535;
  for (const int buttonL : {0, 1, 1, 0}) {
    pointers.Report(buttonL, 0);
    Tick();
  }
  pointers.Report(1, 1);
  Tick();
  pointers.Report(0, 0);
  Tick();
  // A press and release that both fall between two ticks is never seen.
  Tick();
  pointers.Report(0, 1);
  Tick();
  pointers.Report(1, 0);
  Tick();
  EXPECT_EQ(SentFlags(), (std::vector<std::uint32_t>{0x8001, 0x8003, 0x8001, 0x8005, 0x800B, 0x8015,
                                                     0x8001, 0x8009, 0x8013}));
  for (const MouseEvent& event : input.events) {
    EXPECT_EQ(event.x, 65535);
    EXPECT_EQ(event.y, 65535);
  }
}

TEST_F(TimerTickTest, PausedEmulationSendsNothingAndResumesFromTheLastButtonsSent) {
  pointers.Report(1, 0);
  Tick();
  emulation = false;
  pointers.Report(0, 0);
  Tick();
  Tick();
  EXPECT_EQ(SentFlags(), (std::vector<std::uint32_t>{0x8003}));
  EXPECT_EQ(view.Text("X"), "0");  // the display goes on
  emulation = true;
  Tick();
  EXPECT_EQ(SentFlags(), (std::vector<std::uint32_t>{0x8003, 0x8005}));
}

TEST_F(TimerTickTest, CtrlShiftChordSwitchesEmulationOffUntilTheOperatorActs) {
  view.boxes["CursorEmulation"] = true;
  input.ctrl = true;
  Tick();  // Ctrl alone is no chord
  input.shift = true;
  Tick();
  EXPECT_FALSE(emulation);
  EXPECT_FALSE(view.boxes["CursorEmulation"]);
  input.ctrl = input.shift = false;
  Tick();
  EXPECT_FALSE(emulation);
  EXPECT_EQ(input.events.size(), 1u);

  emulation = true;
  Tick();
  EXPECT_EQ(input.events.size(), 2u);
}

TEST_F(TimerTickTest, ChordWhileEmulationIsOffChangesNothing) {
  emulation = false;
  input.ctrl = input.shift = true;
  Tick();
  EXPECT_FALSE(emulation);
  EXPECT_FALSE(view.boxes["CursorEmulation"]);
  EXPECT_TRUE(input.events.empty());
}

TEST_F(TimerTickTest, ShowsPointerAndStatisticsInTheDialogsOrder) {
  pointers.lastReportTick = now;
  pointers.status = LiveStatus{.x = 12345, .y = 0, .buttonL = 1, .buttonR = 0, .offScreen = 0};
  statistics.stats = ServerStats{
      .activeConnections = 3, .requests = 77, .kbSent = 12.34, .kbReceived = 0.06, .visitors = 2};
  Tick();
  EXPECT_EQ(view.writes, (std::vector<std::string>{"X", "Y", "Active", "KbReceived", "KbSent",
                                                   "Requests", "Visitors"}));
  EXPECT_EQ(view.Text("X"), "12345");
  EXPECT_EQ(view.Text("Y"), "0");
  EXPECT_EQ(view.Text("Active"), "3");
  EXPECT_EQ(view.Text("KbReceived"), "0.1");
  EXPECT_EQ(view.Text("KbSent"), "12.3");
  EXPECT_EQ(view.Text("Requests"), "77");
  EXPECT_EQ(view.Text("Visitors"), "2");
  EXPECT_EQ(view.repaints, 1);
  EXPECT_EQ(tick.ButtonLIndicator(), 1);
  EXPECT_EQ(tick.ButtonRIndicator(), 0);
  EXPECT_FALSE(view.boxes["OffScreen"]);

  pointers.status.offScreen = 1;
  pointers.status.buttonR = 1;
  Tick();
  EXPECT_TRUE(view.boxes["OffScreen"]);
  EXPECT_EQ(tick.ButtonRIndicator(), 1);
  EXPECT_EQ(view.repaints, 2);
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
      shown.push_back(view.Text("Requests/Sec"));
    }
    return shown;
  }
};

TEST_F(RequestsPerSecondTest, FirstValueComesASecondAfterTheFirstTickWithAllRequestsSoFar) {
  statistics.stats.requests = 40;
  const std::string none = "<untouched>";
  // First sample at the first tick; the next written a second later, at the sixth.
  EXPECT_EQ(Shown(7), (std::vector<std::string>{none, none, none, none, none, "100", "100"}));
  EXPECT_EQ(Shown(5), (std::vector<std::string>{"100", "100", "100", "50", "50"}));
}

TEST_F(RequestsPerSecondTest, IntervalEndsAcrossTheWrapOfTheTickCount) {
  now = 0xFFFFFF00;
  Shown(1);
  const std::string none = "<untouched>";
  EXPECT_EQ(Shown(5), (std::vector<std::string>{none, none, none, none, "60"}));
}

TEST_F(RequestsPerSecondTest, ServerRestartDoesNotShowANegativeRate) {
  Shown(6);
  ASSERT_EQ(view.Text("Requests/Sec"), "60");
  statistics.stats.requests = 0;  // Start zeroes the counter; the sample lives on
  EXPECT_EQ(Shown(5).back(), "50");
}

// The program's adapters compile against the tick's interfaces.
static_assert(std::is_base_of_v<PointerStatusSource, ProtocolPointerStatus>);
static_assert(std::is_base_of_v<StatisticsSource, EngineStatistics>);

}  // namespace
