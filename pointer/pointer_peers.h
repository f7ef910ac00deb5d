// Which addresses report on each pointer number. Two phones set to one
// number would look like one phone to the protocol (the position jumps
// between them, a command reaches whichever asks first) while both show a
// green dot; only their addresses tell them apart. The phone that reported
// first keeps the number while it reports; another address on it meanwhile
// is a second phone, to be told so. Not locked: the protocol keeps it under
// its ProtocolLock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/pointer_limits.h"

class PointerPeers {
 public:
  // Two addresses within this many milliseconds count as two phones.
  static constexpr std::uint32_t kTogetherMs = 1000;
  // The log hears of a pointer's two phones at most this often.
  static constexpr std::uint32_t kTellAgainMs = 60000;

  struct Verdict {
    bool second = false;  // another phone holds the number: this report is not its
    bool tell = false;    // the log is to say so now
  };

  // Notes a report on pointer p from peerAddress (0: unknown) at tick now.
  Verdict Note(std::size_t p, std::uint32_t peerAddress, std::uint32_t now);
  // True when two addresses reported on p within kTogetherMs before now.
  bool TwoPhones(std::size_t p, std::uint32_t now) const;
  // The address that holds p.
  std::uint32_t Holder(std::size_t p) const { return entries_[p].holder; }
  // p is nobody's: the next address to report takes it.
  void Forget(std::size_t p) { entries_[p].holder = 0; }

 private:
  struct Entry {
    std::uint32_t holder = 0;  // the address that reported first and still reports
    std::uint32_t heldAt = 0;  // its last report
    std::uint32_t twoSeenAt = 0;
    std::uint32_t toldAt = 0;
    bool twoSeen = false;
    bool told = false;
  };
  std::array<Entry, kPointerCount> entries_{};
};
