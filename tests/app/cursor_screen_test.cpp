#include "app/cursor_screen.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Kind = CursorScreen::Kind;

TEST(CursorScreenTest, ReadsTheSettingAndWritesItBack) {
  EXPECT_EQ(ParseCursorScreen(""), CursorScreen{});
  EXPECT_EQ(ParseCursorScreen("Primary"), CursorScreen{});
  EXPECT_EQ(ParseCursorScreen("ALL"), (CursorScreen{Kind::kAll, 0}));
  EXPECT_EQ(ParseCursorScreen("2"), (CursorScreen{Kind::kMonitor, 2}));
  for (const char* wrong : {"0", "-1", "2x", "left", "1000"}) {
    EXPECT_FALSE(ParseCursorScreen(wrong)) << wrong;
  }
  for (const char* text : {"primary", "all", "12"}) {
    EXPECT_EQ(CursorScreenText(*ParseCursorScreen(text)), text);
  }
}

// Two monitors side by side and one below the left one, listed by the
// system in another order; a monitor left of the primary has negative x.
TEST(CursorScreenTest, MonitorsAreNumberedAsSeenAndTheChoiceGivesTheirPixels) {
  const std::vector<platform::Monitor> listed = {{{0, 0, 1920, 1080}, true},
                                                 {{-1280, 1080, 1280, 800}, false},
                                                 {{-1280, 0, 1280, 1080}, false}};
  const std::vector<platform::Monitor> seen = MonitorsAsSeen(listed);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].area, (platform::ScreenRect{-1280, 0, 1280, 1080}));
  EXPECT_EQ(seen[1].area, (platform::ScreenRect{-1280, 1080, 1280, 800}));
  EXPECT_EQ(seen[2].area, (platform::ScreenRect{0, 0, 1920, 1080}));

  // The primary by its rectangle, also for a monitor that is gone: X would
  // otherwise map onto the whole desktop.
  EXPECT_EQ(ChooseCursorArea(CursorScreen{}, seen).rect, (platform::ScreenRect{0, 0, 1920, 1080}));
  EXPECT_EQ(ChooseCursorArea({Kind::kMonitor, 2}, seen).rect,
            (platform::ScreenRect{-1280, 1080, 1280, 800}));
  EXPECT_EQ(ChooseCursorArea({Kind::kAll, 0}, seen).rect,
            (platform::ScreenRect{-1280, 0, 3200, 1880}));
  const CursorArea gone = ChooseCursorArea({Kind::kMonitor, 4}, seen);
  EXPECT_TRUE(gone.missingMonitor);
  EXPECT_EQ(gone.rect, (platform::ScreenRect{0, 0, 1920, 1080}));
  // Monitors not known yet: the system's mapping, and nothing is missing.
  EXPECT_FALSE(ChooseCursorArea({Kind::kMonitor, 4}, {}).missingMonitor);
  EXPECT_EQ(CoveredRect({Kind::kMonitor, 1}, seen), (platform::ScreenRect{-1280, 0, 1280, 1080}));
  EXPECT_FALSE(CoveredRect(CursorScreen{}, {}));
}

// The window tests check the captions and the checked entry; here a monitor
// left of the primary, and a chosen one that is gone: offered nowhere, so
// nothing is checked.
TEST(CursorScreenTest, ChoicesOfAMonitorThatIsGoneCheckNothing) {
  const std::vector<CursorScreenChoice> choices = CursorScreenChoices(
      {Kind::kMonitor, 3}, {{{-1280, 0, 1280, 1024}, false}, {{0, 0, 1920, 1080}, true}});
  ASSERT_EQ(choices.size(), 4u);
  EXPECT_EQ(choices[1].caption, "Monitor 1 (1280x1024 at -1280,0)");
  EXPECT_TRUE(std::none_of(choices.begin(), choices.end(),
                           [](const CursorScreenChoice& c) { return c.chosen; }));
  EXPECT_TRUE(CursorScreenChoices(CursorScreen{}, {}).front().chosen);
}

}  // namespace
