// How often the overlay may draw. Besides the frame timer, a frame waits
// until the frames before it have cost no more than a tenth of the time:
// on a window system that is slow to take a frame (one that copies the whole
// screen's pixels whatever changed), the dots move in fewer steps and the
// server keeps its core. A single slow frame barely counts: the cost is
// an average over the last few.
#pragma once

#include <cstdint>

class OverlayFrameBudget {
 public:
  using Microseconds = std::int64_t;
  static constexpr int kSharePercent = 10;

  // Whether a frame may begin at now.
  bool MayDraw(Microseconds now) const { return now >= next_; }
  // A frame began at start and took spent.
  void Drawn(Microseconds start, Microseconds spent);

 private:
  Microseconds next_ = 0;
  Microseconds average_ = 0;  // of the last few frames' cost
};
