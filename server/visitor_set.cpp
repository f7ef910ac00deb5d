#include "server/visitor_set.h"

namespace {

constexpr std::size_t kFirstSlots = 1024;

// Neighbouring addresses (a class's subnet) spread over the whole table.
std::size_t SlotOf(std::uint32_t address, std::size_t slotCount) {
  return static_cast<std::size_t>(address * 0x9E3779B1u) & (slotCount - 1);
}

}  // namespace

bool VisitorSet::Add(std::uint32_t address) {
  if (address == 0) {
    if (zeroSeen_) return false;
    if (count_ == kLimit) return Refuse();
    zeroSeen_ = true;
    ++count_;
    return true;
  }
  if (slots_.empty()) slots_.assign(kFirstSlots, 0);
  std::uint32_t* slot = Find(address);
  if (*slot == address) return false;
  if (count_ == kLimit) return Refuse();
  if ((count_ + 1) * 2 > slots_.size()) {
    Grow();
    slot = Find(address);
  }
  *slot = address;
  ++count_;
  return true;
}

bool VisitorSet::Refuse() {
  capped_ = true;
  return false;
}

// The slot that holds address, or the free one where it would go.
std::uint32_t* VisitorSet::Find(std::uint32_t address) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = SlotOf(address, slots_.size());; at = (at + 1) & mask) {
    if (slots_[at] == address || slots_[at] == 0) return &slots_[at];
  }
}

void VisitorSet::Grow() {
  std::vector<std::uint32_t> old(slots_.size() * 2, 0);
  old.swap(slots_);
  for (const std::uint32_t address : old) {
    if (address != 0) *Find(address) = address;
  }
}
