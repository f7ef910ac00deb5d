// Which addresses report on each pointer number. Two phones set to one
// number look like one phone to the protocol (the position jumps between
// them, a command reaches whichever asks first) while both show a green dot; only their addresses
// tell them apart. Not locked: the protocol keeps it under its ProtocolLock.
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

  // Notes a report on pointer p from peerAddress (0: unknown) at tick now.
  // True when it shows two phones on p and the log is to say so now.
  bool Note(std::size_t p, std::uint32_t peerAddress, std::uint32_t now);
  // True when two addresses reported on p within kTogetherMs before now.
  bool TwoPhones(std::size_t p, std::uint32_t now) const;
  // The address seen on p before the last one, when it differed.
  std::uint32_t OtherAddress(std::size_t p) const { return entries_[p].otherAddress; }

 private:
  struct Entry {
    std::uint32_t address = 0;  // of the last report
    std::uint32_t at = 0;
    std::uint32_t otherAddress = 0;  // the one before it, when it differed
    std::uint32_t twoSeenAt = 0;
    std::uint32_t toldAt = 0;
    bool twoSeen = false;
    bool told = false;
  };
  std::array<Entry, kPointerCount> entries_{};
};
