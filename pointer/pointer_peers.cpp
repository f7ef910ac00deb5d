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

PointerPeers::Verdict PointerPeers::Note(std::size_t p, std::uint32_t peerAddress,
                                         std::uint32_t now) {
  if (peerAddress == 0) return {};
  Entry& entry = entries_[p];
  // A holder silent for longer has gone, or changed its address.
  if (entry.holder == 0 || entry.holder == peerAddress ||
      !Within(now - entry.heldAt, kTogetherMs)) {
    entry.holder = peerAddress;
    entry.heldAt = now;
    return {};
  }
  entry.twoSeen = true;
  entry.twoSeenAt = now;
  if (entry.told && Within(now - entry.toldAt, kTellAgainMs - 1)) return {true, false};
  entry.told = true;
  entry.toldAt = now;
  return {true, true};
}

bool PointerPeers::TwoPhones(std::size_t p, std::uint32_t now) const {
  const Entry& entry = entries_[p];
  return entry.twoSeen && Within(now - entry.twoSeenAt, kTogetherMs);
}
