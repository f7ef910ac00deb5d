#include "app/overlay_frame_budget.h"

#include <algorithm>

void OverlayFrameBudget::Drawn(Microseconds start, Microseconds spent) {
  average_ += (std::max<Microseconds>(spent, 0) - average_) / 8;
  next_ = start + average_ * 100 / kSharePercent;
}
