// The buttons a dead copy left held down: released at the next start, once;
// a holder that still runs keeps them.
#include "app/held_buttons_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/mouse_keys.h"
#include "pointer/cursor_emulation.h"
#include "tests/app/fake_mouse.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::uint32_t kOwnId = 700;
constexpr std::uint32_t kLiveId = 800;

bool IsRunning(std::uint32_t id) {
  return id == kOwnId || id == kLiveId;
}

TEST(HeldButtonsFileTest, ButtonsOfAHolderThatIsGoneAreReleasedOnce) {
  const struct {
    const char* file;
    std::vector<std::uint32_t> released;  // the events sent
    bool fileStays;
  } cases[] = {
      {"[HeldButtons]\nProcess=900\nButtons=3\n",
       {platform::kMouseLeftUp | platform::kMouseRightUp}, false},
      {"[HeldButtons]\nProcess=900\nButtons=2\n", {platform::kMouseRightUp}, false},
      {"[HeldButtons]\nProcess=800\nButtons=1\n", {}, true},  // that copy still runs
      // Our id was the dead one's: the system gave it again.
      {"[HeldButtons]\nProcess=700\nButtons=1\n", {platform::kMouseLeftUp}, false},
      {"[HeldButtons]\nProcess=900\nButtons=0\n", {}, false},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string path = folder.File("TVXHandvane.HELD");
    TempFolder::WriteAll(path, c.file);
    FakeMouse mouse;
    HeldButtonsFile held(path, kOwnId, IsRunning);
    const auto notice = held.ReleaseLeftOver(mouse);
    EXPECT_EQ(mouse.SentFlags(c.released.size()), c.released) << c.file;
    EXPECT_EQ(notice.has_value(), !c.released.empty()) << c.file;
    EXPECT_EQ(platform::PathExists(path), c.fileStays) << c.file;
    EXPECT_FALSE(held.ReleaseLeftOver(mouse).has_value()) << c.file;  // once
  }
  TempFolder folder;
  TempFolder::WriteAll(folder.File("TVXHandvane.HELD"), "[HeldButtons]\nProcess=900\nButtons=3\n");
  FakeMouse mouse;
  EXPECT_EQ(HeldButtonsFile(folder.File("TVXHandvane.HELD"), kOwnId, IsRunning)
                .ReleaseLeftOver(mouse),
            "TVXHandvane process 900 ended holding the mouse's left and right buttons down; "
            "released now.");
}

// Written with this process's id when the held set changes, gone once
// nothing is held or the program ends.
TEST(HeldButtonsFileTest, RecordsOnlyChangesAndGoesWhenNothingIsHeld) {
  TempFolder folder;
  const std::string path = folder.File("TVXHandvane.HELD");
  HeldButtonsFile held(path, kOwnId, IsRunning);
  held.Record(0);
  EXPECT_FALSE(platform::PathExists(path));
  held.Record(kHeldLeft);
  EXPECT_EQ(TempFolder::ReadAll(path), "[HeldButtons]\nProcess=700\nButtons=1\n");
  ASSERT_TRUE(platform::RemoveFile(path));
  held.Record(kHeldLeft);  // no change: no write
  EXPECT_FALSE(platform::PathExists(path));
  held.Record(kHeldLeft | kHeldRight);
  EXPECT_EQ(TempFolder::ReadAll(path), "[HeldButtons]\nProcess=700\nButtons=3\n");
  held.Record(0);
  EXPECT_FALSE(platform::PathExists(path));
  held.Record(kHeldRight);
  held.Forget();
  EXPECT_FALSE(platform::PathExists(path));
}

}  // namespace
