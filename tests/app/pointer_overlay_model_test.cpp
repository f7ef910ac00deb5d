#include "app/overlay_canvas.h"
#include "app/pointer_overlay_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

  const OverlayDot& Dot(int pointer) const {
    return *std::find_if(frame.dots.begin(), frame.dots.begin() + frame.count,
                         [&](const OverlayDot& dot) { return dot.pointer == pointer; });
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
  // Pointer, centre, faded, L, R, selected, two phones; the selected one last, on top.
  const std::vector<OverlayDot> expected = {{0, 1920, 0},
                                            {2, 1920 + 640, 256, true},
                                            {3, 1921, 1, true},
                                            {5, 1921, 1, false, true},
                                            {7, 1921, 1, false, false, false, false, true},
                                            {1, 1920 + 1279, 1023, false, false, false, true}};
  EXPECT_EQ(std::vector(frame.dots.begin(), frame.dots.begin() + frame.count), expected);
}

TEST_F(PointerOverlayModelTest, PixelsShowColourNumberButtonsFadingAndSelection) {
  Sight(10, 16384, 16384, 0).status.buttonL = 1;
  Sight(11, 49152, 16384, 1500).status.buttonR = 1;
  Sight(12, 16384, 49152, 0);
  BuildOverlayFrame(sightings, 2000, 12, kScreen, frame);
  canvas.Paint(frame, changes);
  ASSERT_EQ(canvas.Width(), 1280);
  const OverlayDot& held = Dot(10);
  const OverlayDot& right = Dot(11);
  const OverlayDot& selected = Dot(12);

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

// A dot that leaves is cleared on the screen: the window tests check that
// (pointer_overlay_test, dialog_window_test).
TEST_F(PointerOverlayModelTest, OnlyWhatChangedIsRepainted) {
  Sight(20, 10000, 10000, 0);
  Sight(21, 50000, 50000, 0);
  BuildOverlayFrame(sightings, 0, 0, kScreen, frame);
  canvas.Paint(frame, changes);
  EXPECT_EQ(changes.bounds, (OverlayRect{0, 0, 1280, 1024})) << "a new canvas shows all";
  canvas.Paint(frame, changes);
  EXPECT_EQ(changes.count, 0);

  const OverlayDot before = Dot(20);
  Sight(20, 11000, 10000, 0);
  BuildOverlayFrame(sightings, 0, 0, kScreen, frame);
  canvas.Paint(frame, changes);
  const OverlayRect moved =
      Union(DotBounds(before, frame.radius), DotBounds(Dot(20), frame.radius));
  EXPECT_EQ(changes.count, 1) << "one rectangle over both places";
  EXPECT_EQ(changes.bounds, (OverlayRect{moved.left - kScreen.left, moved.top,
                                         moved.right - kScreen.left, moved.bottom}));
  EXPECT_EQ(At(before, 0, -10), 0u) << "the old place is cleared";
  EXPECT_NE(At(Dot(20), 0, -10), 0u);
}

// What the window hands the system: each place that changed once, and
// nothing between or beside.
TEST_F(PointerOverlayModelTest, ACrowdThatMovesFarIsRepaintedAtItsOldAndNewPlaceOnly) {
  // Paints 30 and 31, overlapping, at x, y: where they lie on the canvas.
  auto paintPairAt = [&](int x, int y) {
    Sight(30, x, y, 0);
    Sight(31, x + 300, y, 0);
    BuildOverlayFrame(sightings, 0, 0, kScreen, frame);
    canvas.Paint(frame, changes);
    const OverlayRect r = Union(DotBounds(Dot(30), frame.radius), DotBounds(Dot(31), frame.radius));
    return OverlayRect{r.left - kScreen.left, r.top - kScreen.top, r.right - kScreen.left,
                       r.bottom - kScreen.top};
  };
  Sight(32, 50000, 50000, 0);  // stays
  const OverlayRect oldPlace = paintPairAt(10000, 10000);
  const OverlayRect newPlace = paintPairAt(40000, 20000);
  std::vector<OverlayRect> got(changes.rects.begin(), changes.rects.begin() + changes.count);
  std::sort(got.begin(), got.end(),
            [](const OverlayRect& a, const OverlayRect& b) { return a.left < b.left; });
  EXPECT_EQ(got, (std::vector<OverlayRect>{oldPlace, newPlace}));
  EXPECT_EQ(changes.bounds, Union(oldPlace, newPlace)) << "the dot that stayed is left out";
}

}  // namespace

namespace {

// A named pointer's plate sits right of its dot and is painted there; a new
// picture of it (a rename) repaints it, and without its label it goes.
TEST_F(PointerOverlayModelTest, ANamePlateIsPaintedBesideItsDotAndFollowsRenames) {
  OverlayLabels labels;
  const auto plate = [](std::uint32_t colour) {
    return OverlayLabel{40, 12, std::vector<std::uint32_t>(40 * 12, colour)};
  };
  labels.Set(9, plate(0xFF101010u));
  labels.Set(8, OverlayLabel{40, 12, {}});  // pixels missing: no label
  canvas.SetLabels(&labels);
  Sight(9, 32768, 32768, 100);
  Sight(8, 10000, 10000, 100);
  BuildOverlayFrame(sightings, 100, 0, kScreen, frame, &labels);
  canvas.Paint(frame, changes);

  const OverlayDot& dot = Dot(9);
  const OverlayRect plateRect = LabelBounds(dot, frame.radius);
  EXPECT_EQ(plateRect.Width(), 40);
  EXPECT_GT(plateRect.left, dot.x + frame.radius);
  OverlayDot unnamed = dot;
  unnamed.labelWidth = unnamed.labelHeight = 0;
  EXPECT_EQ(DotBounds(dot, frame.radius), Union(DotBounds(unnamed, frame.radius), plateRect));
  EXPECT_TRUE(LabelBounds(Dot(8), frame.radius).IsEmpty());
  EXPECT_EQ(DotShape(dot, frame.radius).label, plateRect);
  const int inside = plateRect.left - dot.x + 20;
  EXPECT_EQ(At(dot, inside, 0), 0xFF101010u);

  labels.Set(9, plate(0xFF303030u));
  BuildOverlayFrame(sightings, 100, 0, kScreen, frame, &labels);
  canvas.Paint(frame, changes);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(At(Dot(9), inside, 0), 0xFF303030u);

  labels.Set(9, OverlayLabel{});
  BuildOverlayFrame(sightings, 100, 0, kScreen, frame, &labels);
  canvas.Paint(frame, changes);
  EXPECT_EQ(At(Dot(9), inside, 0), 0u);
}

}  // namespace

namespace {

// Plates that cross at angles are repainted in pieces: each frame painted
// over the last must look as if painted on a clear canvas, and no piece may
// overlap another (a dot composited twice there would darken its edges).
TEST_F(PointerOverlayModelTest, PlatesCrossingAtAnglesAreRepaintedAsOnAClearCanvas) {
  constexpr int kMovers = 6;
  constexpr int kStep[kMovers][2] = {{1500, 300},   {-1200, 900}, {400, -1400},
                                     {-800, -600}, {1000, 1300}, {-1500, -200}};
  const int radius = OverlayDotRadius(kScreen.Height());
  const int width = OverlayLabelMaxWidth(radius);
  const int height = OverlayLabelHeight(radius);
  OverlayLabels labels;
  for (int p = 0; p < kMovers; ++p) {
    const std::uint32_t colour = p % 2 == 0 ? 0x80102030u : 0xFF203040u;  // see-through, opaque
    labels.Set(p, OverlayLabel{width, height,
                               std::vector<std::uint32_t>(static_cast<std::size_t>(width * height),
                                                          colour)});
  }
  OverlayCanvas painted;  // over the last frame, frame by frame
  painted.SetLabels(&labels);
  for (int f = 0; f < 16; ++f) {
    for (int p = 0; p < kMovers; ++p) {
      Sight(p, 32768 + kStep[p][0] * (f - 8), 32768 + kStep[p][1] * (f - 8), 0).status.buttonL =
          (f + p) % 3 == 0;
    }
    BuildOverlayFrame(sightings, 0, 0, kScreen, frame, &labels);
    painted.Paint(frame, changes);
    OverlayCanvas fresh;
    OverlayCanvas::Changes whole;
    fresh.SetLabels(&labels);
    fresh.Paint(frame, whole);
    const std::size_t pixels = static_cast<std::size_t>(fresh.Width() * fresh.Height());
    ASSERT_TRUE(std::equal(painted.Pixels(), painted.Pixels() + pixels, fresh.Pixels()))
        << "frame " << f;
    for (int i = 0; i < changes.count; ++i) {
      for (int j = i + 1; j < changes.count; ++j) {
        ASSERT_TRUE(Intersection(changes.rects[static_cast<std::size_t>(i)],
                                 changes.rects[static_cast<std::size_t>(j)])
                        .IsEmpty())
            << "frame " << f;
      }
    }
  }
}

}  // namespace
