#include "app/overlay_frame_budget.h"

#include <algorithm>

void OverlayFrameBudget::Drawn(Microseconds start, Microseconds spent) {
  // The first frame sets the average. After it, dearer frames count slowly,
  // so that a hiccup barely holds the dots back; cheaper ones quickly, so
  // that they move freely again soon.
  const Microseconds cost = std::max<Microseconds>(spent, 0);
  if (!drawn_) average_ = cost;
  drawn_ = true;
  average_ += (cost - average_) / (cost > average_ ? 16 : 4);
  next_ = start + average_ * 100 / kSharePercent;
}
