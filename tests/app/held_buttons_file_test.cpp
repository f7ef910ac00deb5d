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
    const char* notice;                   // what it says, in part; "": nothing
    bool fileStays;
  } cases[] = {
      {"Process=900\nButtons=3\n",
       {platform::kMouseLeftUp | platform::kMouseRightUp},
       "process 900 ended holding the mouse's left and right buttons down",
       false},
      {"Process=900\nButtons=2\n", {platform::kMouseRightUp}, "mouse's right button down", false},
      {"Process=800\nButtons=1\n", {}, "", true},  // that copy still runs
      // Our id was the dead one's: the system gave it again.
      {"Process=700\nButtons=1\n",
       {platform::kMouseLeftUp},
       "700 ended holding the mouse's left",
       false},
      {"Process=900\nButtons=0\n", {}, "", false},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string path = folder.File("TVXHandvane.HELD");
    TempFolder::WriteAll(path, std::string("[HeldButtons]\n") + c.file);
    FakeMouse mouse;
    HeldButtonsFile held(path, kOwnId, IsRunning);
    const std::string notice = held.ReleaseLeftOver(mouse).value_or("");
    EXPECT_EQ(notice.empty(), !*c.notice) << c.file;
    EXPECT_NE(notice.find(c.notice), std::string::npos) << notice;
    EXPECT_EQ(mouse.SentFlags(c.released.size()), c.released) << c.file;
    EXPECT_EQ(platform::PathExists(path), c.fileStays) << c.file;
    EXPECT_FALSE(held.ReleaseLeftOver(mouse).has_value()) << c.file;  // once
  }
}

// Written with this process's id when the held set changes, gone once
// nothing is held.
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
  held.Record(kHeldLeft | kHeldRight);  // the same set as before the release
  EXPECT_EQ(TempFolder::ReadAll(path), "[HeldButtons]\nProcess=700\nButtons=3\n");
}

}  // namespace
