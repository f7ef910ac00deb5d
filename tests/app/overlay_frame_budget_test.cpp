#include "app/overlay_frame_budget.h"

#include <gtest/gtest.h>

namespace {

constexpr OverlayFrameBudget::Microseconds kMs = 1000;

// Frames of that cost drawn whenever the 33 ms timer finds the budget open,
// for a while; the time of the last one drawn.
OverlayFrameBudget::Microseconds RunTimer(OverlayFrameBudget& budget,
                                          OverlayFrameBudget::Microseconds& now,
                                          OverlayFrameBudget::Microseconds cost, int& drawn) {
  OverlayFrameBudget::Microseconds last = -1;
  drawn = 0;
  for (int tick = 0; tick < 300; ++tick, now += 33 * kMs) {
    if (!budget.MayDraw(now)) continue;
    budget.Drawn(now, cost);
    last = now;
    ++drawn;
  }
  return last;
}

TEST(OverlayFrameBudgetTest, CheapFramesKeepTheTimersRateAndDearOnesTheirShareOfTheTime) {
  OverlayFrameBudget budget;
  OverlayFrameBudget::Microseconds now = 0;
  int drawn = 0;
  RunTimer(budget, now, 1 * kMs, drawn);
  EXPECT_EQ(drawn, 300);

  // One slow frame among cheap ones does not hold back the next.
  budget.Drawn(now, 12 * kMs);
  EXPECT_TRUE(budget.MayDraw(now + 33 * kMs));

  // Frames of 11 ms: once the average knows them, one in the time they may
  // take a share of, at the first tick of the timer after it.
  const OverlayFrameBudget::Microseconds spacing =
      11 * kMs * 100 / OverlayFrameBudget::kSharePercent;
  const OverlayFrameBudget::Microseconds ticks = (spacing + 33 * kMs - 1) / (33 * kMs);
  RunTimer(budget, now, 11 * kMs, drawn);
  const OverlayFrameBudget::Microseconds last = RunTimer(budget, now, 11 * kMs, drawn);
  EXPECT_EQ(drawn, 300 / ticks);
  EXPECT_FALSE(budget.MayDraw(last + spacing - kMs));
  EXPECT_TRUE(budget.MayDraw(last + spacing + kMs));

  // Cheap again: back to the timer's rate within a few frames.
  RunTimer(budget, now, 1 * kMs, drawn);
  EXPECT_GE(drawn, 280);
}

}  // namespace
