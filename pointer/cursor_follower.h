// What the report protocol hands the selected pointer's fresh reports to
// while cursor emulation is on: the cursor follows each of them at once.
#pragma once

#include <cstdint>

// One fresh report of the selected pointer. The protocol numbers them in the
// order it took them under its lock, so that reports of one pointer that
// arrive on two connections at once are still followed in that order.
struct CursorTarget {
  std::uint64_t sequence = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t buttonL = 0;
  std::int32_t buttonR = 0;
};

class CursorFollower {
 public:
  virtual ~CursorFollower() = default;
  // Whether emulation is on; asked under the protocol's lock, so it must not wait.
  virtual bool IsOn() const = 0;
  // On a client thread, with no lock held; returns without waiting for the
  // system's input.
  virtual void Follow(const CursorTarget& target) = 0;
};
