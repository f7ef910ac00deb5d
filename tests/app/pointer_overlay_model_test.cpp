#include "app/pointer_overlay_model.h"

#include <gtest/gtest.h>

namespace {

// A second monitor right of a 1920-pixel one.
const OverlayRect kScreen{1920, 0, 1920 + 1280, 1024};

class PointerOverlayModelTest : public testing::Test {
 protected:
  PointerSighting& Sight(int pointer, int x, int y, std::uint32_t tick) {
    PointerSighting& s = sightings.pointers[static_cast<std::size_t>(pointer)];
    s.reported = true;
    s.status.x = x;
    s.status.y = y;
    s.lastReportTick = tick;
    return s;
  }

  const OverlayDot* Find(int pointer) const {
    for (int i = 0; i < frame.count; ++i) {
      if (frame.dots[static_cast<std::size_t>(i)].pointer == pointer) {
        return &frame.dots[static_cast<std::size_t>(i)];
      }
    }
    return nullptr;
  }

  std::uint32_t At(const OverlayDot& dot, int dx, int dy) const {
    return canvas.Pixel(dot.x - kScreen.left + dx, dot.y - kScreen.top + dy);
  }

  PointerSightings sightings;
  OverlayFrame frame;
  OverlayCanvas canvas;
  OverlayCanvas::Changes changes;
};

TEST_F(PointerOverlayModelTest, DotsSitOnTheirMonitorAndFadeAndLeaveWithSilence) {
  const std::uint32_t now = 100000;
  Sight(0, 0, 0, now);
  Sight(1, 65535, 65535, now - 1000);  // silent for exactly the silence rule: not yet faded
  Sight(2, 32768, 16384, now - 1001);
  Sight(3, 100, 100, now - 5000);
  Sight(4, 100, 100, now - 5001);                  // gone
  Sight(5, 100, 100, now + 3).status.buttonL = 1;  // stamped after now was read
  sightings.pointers[6].lastReportTick = now;      // never reported since the start
  Sight(7, 100, 100, now).twoPhones = true;
  BuildOverlayFrame(sightings, now, 1, kScreen, frame);

  EXPECT_EQ(frame.radius, 13);  // 2.5 % of 1024 across
  EXPECT_EQ(frame.count, 6);
  EXPECT_EQ(frame.dots[5].pointer, 1) << "the selected pointer is drawn last, on top";
  EXPECT_TRUE(frame.dots[5].selected);
  const OverlayDot* corner = Find(0);
  ASSERT_NE(corner, nullptr);
  EXPECT_EQ(corner->x, 1920);
  EXPECT_EQ(corner->y, 0);
  EXPECT_FALSE(corner->faded || corner->selected || corner->buttonL || corner->twoPhones);
  EXPECT_EQ(Find(1)->x, 1920 + 1279);
  EXPECT_EQ(Find(1)->y, 1023);
  EXPECT_FALSE(Find(1)->faded);
  EXPECT_EQ(Find(2)->x, 1920 + 640);
  EXPECT_EQ(Find(2)->y, 256);
  EXPECT_TRUE(Find(2)->faded);
  EXPECT_TRUE(Find(3)->faded);
  EXPECT_EQ(Find(4), nullptr);
  EXPECT_FALSE(Find(5)->faded);
  EXPECT_TRUE(Find(5)->buttonL);
  EXPECT_EQ(Find(6), nullptr);
  EXPECT_TRUE(Find(7)->twoPhones);
}

TEST_F(PointerOverlayModelTest, PixelsShowColourNumberButtonsFadingAndSelection) {
  Sight(10, 16384, 16384, 0).status.buttonL = 1;
  Sight(11, 49152, 16384, 0).status.buttonR = 1;
  Sight(12, 16384, 49152, 0);
  BuildOverlayFrame(sightings, 2000, 12, kScreen, frame);
  Sight(11, 49152, 16384, 1500);
  BuildOverlayFrame(sightings, 2000, 12, kScreen, frame);
  canvas.Paint(frame, changes);
  ASSERT_EQ(canvas.Width(), 1280);
  const OverlayDot& held = *Find(10);
  const OverlayDot& right = *Find(11);
  const OverlayDot& selected = *Find(12);
  EXPECT_TRUE(held.faded);
  EXPECT_FALSE(right.faded);
  EXPECT_NE(DotColour(10), DotColour(11));

  // The fill in its palette colour, opaque; the number's ink across the middle.
  EXPECT_EQ(At(right, 0, -10), 0xFF000000 | DotColour(11));
  EXPECT_EQ(At(right, 0, -10), At(right, 0, 10));
  int ink = 0;
  for (int x = -8; x <= 8; ++x) ink += At(right, x, 0) != (0xFF000000 | DotColour(11));
  EXPECT_GT(ink, 2);
  // R held: white on the right edge only.
  EXPECT_EQ(At(right, 16, 0), 0xFFFFFFFFu);
  EXPECT_EQ(At(right, -16, 0), 0u);
  // The faded dot with L held: the left edge white at 40 %, the fill 40 % too.
  EXPECT_EQ(At(held, -16, 0), 0x66666666u);
  EXPECT_EQ(At(held, 16, 0), 0u);
  EXPECT_EQ(At(held, 0, -10) >> 24, 0x66u);
  // The selected one is ringed; elsewhere nothing.
  int ringed = 0;
  for (int x = 19; x <= 23; ++x) ringed += At(selected, x, 0) != 0 || At(selected, 0, x) != 0;
  EXPECT_GT(ringed, 0);
  EXPECT_EQ(At(right, 0, 60), 0u);
}

TEST_F(PointerOverlayModelTest, OnlyWhatChangedIsRepainted) {
  Sight(20, 10000, 10000, 0);
  Sight(21, 50000, 50000, 0);
  BuildOverlayFrame(sightings, 0, 0, kScreen, frame);
  canvas.Paint(frame, changes);
  EXPECT_EQ(changes.bounds, (OverlayRect{0, 0, 1280, 1024})) << "a new canvas shows all";
  canvas.Paint(frame, changes);
  EXPECT_EQ(changes.count, 0);

  const OverlayDot before = *Find(20);
  Sight(20, 11000, 10000, 0);
  BuildOverlayFrame(sightings, 0, 0, kScreen, frame);
  canvas.Paint(frame, changes);
  const OverlayRect moved =
      Union(DotBounds(before, frame.radius), DotBounds(*Find(20), frame.radius));
  EXPECT_EQ(changes.count, 1) << "one rectangle over both places";
  EXPECT_EQ(changes.bounds, (OverlayRect{moved.left - kScreen.left, moved.top,
                                         moved.right - kScreen.left, moved.bottom}));
  EXPECT_EQ(At(before, 0, -10), 0u) << "the old place is cleared";
  const OverlayDot after = *Find(20);
  EXPECT_NE(At(after, 0, -10), 0u);

  // Silent past the leaving time: its dot goes, the other stays.
  BuildOverlayFrame(sightings, kOverlayLeaveMs + 1, 0, kScreen, frame);
  EXPECT_EQ(frame.count, 0);
  Sight(21, 50000, 50000, kOverlayLeaveMs);
  BuildOverlayFrame(sightings, kOverlayLeaveMs + 1, 0, kScreen, frame);
  canvas.Paint(frame, changes);
  ASSERT_EQ(frame.count, 1);
  EXPECT_EQ(At(after, 0, -10), 0u);
  EXPECT_EQ(At(*Find(21), 0, -10), 0xFF000000 | DotColour(21));
}

}  // namespace
