// The distinct client addresses the server has seen, for the visitor count.
// Looking one up takes the same short time however many there are, and the
// memory is bounded: the count is exact up to kLimit addresses and stays at
// kLimit after that (the table then holds 512 KiB); Capped tells that a new
// address found no place, so that the count is shown as a lower bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class VisitorSet {
 public:
  static constexpr std::size_t kLimit = 65536;

  // True when address was not seen before and is counted now.
  bool Add(std::uint32_t address);
  std::size_t Count() const { return count_; }
  // True once an address was not counted for the limit.
  bool Capped() const { return capped_; }
  std::size_t TableBytes() const { return slots_.size() * sizeof(std::uint32_t); }

 private:
  void Grow();
  bool Refuse();  // notes the cap; false
  std::uint32_t* Find(std::uint32_t address);

  // Open addressing, at most half full; 0 marks a free slot, so the address
  // 0.0.0.0 is kept apart.
  std::vector<std::uint32_t> slots_;
  bool zeroSeen_ = false;
  std::size_t count_ = 0;
  bool capped_ = false;
};
