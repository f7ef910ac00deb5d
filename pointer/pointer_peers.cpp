#include "pointer/pointer_peers.h"

#include <cstdint>

namespace {

// Reporting threads read the tick before they take the lock, so a time may
// lie a moment before the one noted last; that counts as no time at all.
bool Within(std::uint32_t elapsed, std::uint32_t limit) {
  constexpr std::uint32_t kMoment = 1000;
  return elapsed <= limit || 0u - elapsed <= kMoment;
}

}  // namespace

bool PointerPeers::Note(std::size_t p, std::uint32_t peerAddress, std::uint32_t now) {
  if (peerAddress == 0) return false;
  Entry& entry = entries_[p];
  const bool two =
      entry.address != 0 && entry.address != peerAddress && Within(now - entry.at, kTogetherMs);
  if (two) {
    entry.otherAddress = entry.address;
    entry.twoSeen = true;
    entry.twoSeenAt = now;
  }
  entry.address = peerAddress;
  entry.at = now;
  if (!two || (entry.told && Within(now - entry.toldAt, kTellAgainMs - 1))) return false;
  entry.told = true;
  entry.toldAt = now;
  return true;
}

bool PointerPeers::TwoPhones(std::size_t p, std::uint32_t now) const {
  const Entry& entry = entries_[p];
  return entry.twoSeen && Within(now - entry.twoSeenAt, kTogetherMs);
}

