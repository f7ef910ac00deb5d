// How often the overlay may draw. Besides the frame timer, a frame waits
// until the frames before it have cost no more than kSharePercent of the
// time (the window system's own work for a frame comes on top of it):
// on a window system that is slow to take a frame (one that copies the whole
// screen's pixels whatever changed), the dots move in fewer steps and the
// server keeps its core. The cost is an average over the last frames, so
// that a single slow frame barely counts.
#pragma once

#include <cstdint>

class OverlayFrameBudget {
 public:
  using Microseconds = std::int64_t;
  static constexpr int kSharePercent = 6;

  // Whether a frame may begin at now.
  bool MayDraw(Microseconds now) const { return now >= next_; }
  // A frame began at start and took spent.
  void Drawn(Microseconds start, Microseconds spent);

 private:
  Microseconds next_ = 0;
  Microseconds average_ = 0;  // of the last frames' cost
  bool drawn_ = false;
};
