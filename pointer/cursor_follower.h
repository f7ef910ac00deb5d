// What the report protocol hands the selected pointer's fresh reports to
// while cursor emulation is on: the cursor follows each of them at once. The
// phone holds the cursor until it loses it (falls silent, is no longer
// selected, emulation goes off): then the buttons it held go up.
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
  // The selected phone lost the cursor: the buttons held for it are released
  // where the cursor is, whether emulation is on or not, and no report
  // numbered up to sequence is followed any more. Returns without waiting.
  virtual void ReleaseButtons(std::uint64_t sequence) = 0;
};
