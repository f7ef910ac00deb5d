// The cursor as the protocol feeds it: every fresh report of the selected
// pointer reaches the system's input on the emulation's thread, and every
// way of losing the cursor lets go of the buttons.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "pointer/cursor_control.h"
#include "tests/pointer/protocol_rig.h"
#include "tests/support/program_run.h"

namespace {

struct MouseEvent {
  std::uint32_t flags;
  std::int32_t x;
  std::int32_t y;
  bool operator==(const MouseEvent&) const = default;
};

// Records what the emulation's thread sends; a closed gate holds that thread
// inside its first event, as a slow system input would.
class RecordingMouse : public MouseAndKeys {
 public:
  bool IsAvailable() override { return true; }
  bool IsCtrlHeld() override { return ctrl; }
  bool IsShiftHeld() override { return shift; }
  bool ctrl = false;
  bool shift = false;
  bool SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) override {
    std::unique_lock guard(lock_);
    events_.push_back({flags, x, y});
    changed_.notify_all();
    changed_.wait(guard, [this] { return gateOpen_; });
    return !failing;
  }

  // The events once count have come (or what came within 5 s).
  std::vector<MouseEvent> Events(std::size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(5), [&] { return events_.size() >= count; });
    return events_;
  }
  std::vector<std::uint32_t> Flags(std::size_t count) {
    std::vector<std::uint32_t> flags;
    for (const MouseEvent& event : Events(count)) flags.push_back(event.flags);
    return flags;
  }
  std::atomic<bool> failing{false};  // as a display whose connection broke

  void SetGate(bool open) {
    std::lock_guard guard(lock_);
    gateOpen_ = open;
    changed_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<MouseEvent> events_;
  bool gateOpen_ = true;
};

class CursorControlTest : public testing::Test, protected ProtocolRig {
 protected:
  CursorControlTest() {
    protocol.AttachCursor(&cursor);
    EXPECT_EQ(cursor.SwitchOn(), CursorControl::Refusal::kNone);
  }
  ~CursorControlTest() override { protocol.AttachCursor(nullptr); }

  RecordingMouse mouse;
  CursorControl cursor{mouse, selectedPointer, [this] { return now.load(); }};
};

// With the 200 ms tick a press and its release between two ticks were lost.
TEST_F(CursorControlTest, EveryReportMovesTheCursorAndNoButtonChangeIsLost) {
  Report(3, 0x100, 0, 0);
  Report(3, 0x200, 1, 0);  // a tap: both at once, nothing in between
  Report(3, 0x300, 0, 0);
  Report(3, 0x400, 1, 1);
  Report(3, 0x500, 0, 0);
  Report(3, 0x600, 0, 1);
  Report(3, 0x700, 1, 0);
  EXPECT_EQ(mouse.Events(7), (std::vector<MouseEvent>{{0x8001, 0x100, 0x1000},
                                                      {0x8003, 0x200, 0x1000},
                                                      {0x8005, 0x300, 0x1000},
                                                      {0x800B, 0x400, 0x1000},
                                                      {0x8015, 0x500, 0x1000},
                                                      {0x8009, 0x600, 0x1000},
                                                      {0x8013, 0x700, 0x1000}}));
}

TEST_F(CursorControlTest, OnlyFreshReportsOfTheSelectedPointerWhileOn) {
  Report(3, 0x100, 1, 0);
  ASSERT_EQ(mouse.Flags(1), std::vector<std::uint32_t>{0x8003});
  Report(4, 0x200, 0, 0);     // another phone
  Report(3, 0x300, 0, 0, 0);  // stale
  cursor.SwitchOff();         // lets go where the cursor is
  Report(3, 0x400, 0, 0);
  ASSERT_EQ(cursor.SwitchOn(), CursorControl::Refusal::kNone);
  selectedPointer = 4;
  Report(4, 0x500, 0, 0);
  EXPECT_EQ(
      mouse.Events(3),
      (std::vector<MouseEvent>{{0x8003, 0x100, 0x1000}, {0x0004, 0, 0}, {0x8001, 0x500, 0x1000}}));
}

// While the system's input is slow, moves collapse into the newest, changes
// of either button keep their order and place, and a report that lost a race
// with a newer one of the same pointer is not sent after it.
TEST_F(CursorControlTest, WaitingReportsKeepTheirOrderAndButtonChanges) {
  mouse.SetGate(false);
  cursor.Follow({1, 1, 0, 0, 0});
  mouse.Events(1);  // the thread now waits inside the system's input
  // 4 is overtaken by 5 on its way; 5 is a left click, 9 a right one.
  for (const int n : {2, 3, 5, 4, 6, 7, 8, 9, 10, 11}) {
    cursor.Follow({static_cast<std::uint64_t>(n), n, 0, n == 5, n == 9});
  }
  mouse.SetGate(true);
  EXPECT_EQ(mouse.Events(9), (std::vector<MouseEvent>{{0x8001, 1, 0},
                                                      {0x8001, 3, 0},
                                                      {0x8001, 4, 0},
                                                      {0x8003, 5, 0},
                                                      {0x8005, 6, 0},
                                                      {0x8001, 8, 0},
                                                      {0x8009, 9, 0},
                                                      {0x8011, 10, 0},
                                                      {0x8001, 11, 0}}));
  cursor.Follow({7, 7, 0, 0, 0});  // older than what was sent
  cursor.Follow({12, 12, 0, 0, 0});
  const std::vector<MouseEvent> events = mouse.Events(10);
  ASSERT_EQ(events.size(), 10u);
  EXPECT_EQ(events.back(), (MouseEvent{0x8001, 12, 0}));
}

// Button-up flags without a move: released where the cursor is.
constexpr std::uint32_t kLeftUp = 0x0004;
constexpr std::uint32_t kBothUp = 0x0014;

// A release with nothing held sends nothing, silence lets go once, and a
// phone that comes back presses again.
TEST_F(CursorControlTest, LosingTheCursorReleasesWhatIsHeldAndAReturningPhonePressesAgain) {
  Report(3, 0x100, 1, 1);
  cursor.Release();
  cursor.Release();  // nothing held any more: nothing sent
  Report(3, 0x200, 1, 0);
  ASSERT_EQ(mouse.Flags(3), (std::vector<std::uint32_t>{0x800B, kBothUp, 0x8003}));

  // Falling silent lets go once; the phone that comes back presses again.
  now += 1001;
  EXPECT_TRUE(protocol.MarkSilentPointers(now));
  EXPECT_TRUE(protocol.MarkSilentPointers(now + 200));
  Report(3, 0x300, 1, 0);
  ASSERT_EQ(mouse.Flags(5), (std::vector<std::uint32_t>{0x800B, kBothUp, 0x8003, kLeftUp, 0x8003}));
  // What the held-buttons file is written from: the left one is down, then none.
  EXPECT_TRUE(WaitFor([&] { return cursor.HeldButtons() == kHeldLeft; }, 5000));
  cursor.Release();
  EXPECT_TRUE(WaitFor([&] { return cursor.HeldButtons() == 0; }, 5000));

}

// Every way the selected phone loses the cursor lets go of the button it holds.
TEST_F(CursorControlTest, EachWayOfLosingTheCursorReleasesTheButton) {
  const std::pair<const char*, std::function<void()>> ways[] = {
      {"another pointer selected",
       [&] {
         selectedPointer = 5;
         cursor.Release();
         selectedPointer = 3;
       }},
      {"Stop, Reset, exit or the end of the session", [&] { cursor.Release(); }},
      {"switched off", [&] { cursor.SwitchOff(); }},
      {"Ctrl+Shift",  // Ctrl alone is no chord; the chord switches off once
       [&] {
         mouse.ctrl = true;
         EXPECT_FALSE(cursor.Tick());
         mouse.shift = true;
         EXPECT_TRUE(cursor.Tick());
         EXPECT_FALSE(cursor.Tick());
         mouse.ctrl = mouse.shift = false;
       }},
      {"falls silent", [&] { protocol.MarkSilentPointers(now += 1001); }},
  };
  std::size_t sent = 0;
  for (const auto& [name, lose] : ways) {
    if (!cursor.IsOn()) {
      ASSERT_EQ(cursor.SwitchOn(), CursorControl::Refusal::kNone);
    }
    Report(3, 0x100, 1, 0);
    ASSERT_EQ(mouse.Flags(++sent).size(), sent) << name;  // pressed before it is lost
    lose();
    ++sent;
    const std::vector<std::uint32_t> flags = mouse.Flags(sent);
    EXPECT_EQ(flags.size(), sent) << name;
    EXPECT_EQ(flags.back(), kLeftUp) << name;
  }
}

// A failed event is released on the next connection and pressed again; an
// ending emulation releases what it holds.
TEST_F(CursorControlTest, AFailedEventOrTheEmulationsEndReleasesTheButton) {
  mouse.failing = true;
  Report(3, 0x100, 1, 0);
  mouse.Events(1);
  mouse.failing = false;
  Report(3, 0x200, 1, 0);
  mouse.Events(3);
  {
    const std::atomic<bool> on{true};
    CursorEmulation ending(mouse, on);
    ending.Follow({1, 1, 0, 0, 1});
    mouse.Events(4);
  }
  EXPECT_EQ(mouse.Flags(5), (std::vector<std::uint32_t>{0x8003, kLeftUp, 0x8003, 0x8009, 0x0010}));
}

// Each tick without a followed report sends the selected pointer's last
// report once more: the real mouse cannot take the cursor from a phone that
// holds still, and a stale report's buttons reach the system.
TEST_F(CursorControlTest, TheHoldSendsTheLastReportOnlyWhenNoneWentOutSinceTheLastTick) {
  Report(3, 0x100, 0, 0);
  cursor.Tick();              // the report went out since
  Report(3, 0x200, 1, 0, 0);  // stale: the live status only
  cursor.Tick();
  cursor.Tick();  // the same again: the move alone
  Report(4, 0x400, 0, 1);
  selectedPointer = 4;
  cursor.Release();  // as the dialog does at a new selection
  cursor.Tick();     // on the new pointer within one tick
  mouse.Events(5);
  cursor.SwitchOff();
  cursor.Tick();
  ASSERT_EQ(cursor.SwitchOn(), CursorControl::Refusal::kNone);
  now += 1001;
  protocol.MarkSilentPointers(now);
  cursor.Tick();  // a silent pointer leaves the cursor where it is
  EXPECT_EQ(mouse.Events(6), (std::vector<MouseEvent>{{0x8001, 0x100, 0x1000},
                                                      {0x8003, 0x200, 0x1000},
                                                      {0x8001, 0x200, 0x1000},
                                                      {kLeftUp, 0, 0},
                                                      {0x8009, 0x400, 0x1000},
                                                      {0x0010, 0, 0}}));
}

}  // namespace
