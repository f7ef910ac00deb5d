// The ring that the report FIFO and every command FIFO of the shared area
// follow, over a FifoBlock of any record type and slot count. Empty when the
// write index equals the read index; a ring holds one record less than its
// slots. The writer copies the record into its slot before it publishes the
// new write index, the reader copies the slot out before it publishes the new
// read index; each side stores only its own index.
//
// An index outside the slots was written by a faulty or foreign process; such
// a ring is unusable (holds nothing, takes nothing) until the side that owns
// the bad index resets it. The server repairs its own indices as it finds them.
#pragma once

#include <atomic>
#include <cstdint>

#include "pointer/shared_memory_layout.h"

// The indices live in memory that another process writes at the same time.
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint32_t>::required_alignment <= alignof(std::uint32_t));

template <typename Fifo>
class FifoRing {
 public:
  using Record = typename Fifo::RecordType;
  static constexpr std::uint32_t kSlots = Fifo::kSlotCount;

  // Reads both indices once: every answer below is about that moment.
  explicit FifoRing(Fifo& fifo)
      : fifo_(fifo), write_(LoadIndex(fifo.writeIndex)), read_(LoadIndex(fifo.readIndex)) {}

  std::uint32_t WriteIndex() const { return write_; }
  std::uint32_t ReadIndex() const { return read_; }

  bool Usable() const { return write_ < kSlots && read_ < kSlots; }
  bool Empty() const { return !Usable() || write_ == read_; }
  bool Full() const {
    return !Usable() || write_ + 1 == read_ || (write_ == kSlots - 1 && read_ == 0);
  }
  int Count() const {
    if (!Usable()) return 0;
    return static_cast<int>(write_ >= read_ ? write_ - read_ : write_ - read_ + kSlots);
  }
  int Free() const {
    if (!Usable()) return 0;
    return static_cast<int>(write_ < read_ ? read_ - write_ - 1 : read_ - write_ + kSlots - 1);
  }

  // The record goes into its slot before the new write index is published.
  int Put(const Record& record) {
    if (Full()) return 0;
    fifo_.slots[write_] = record;
    StoreIndex(fifo_.writeIndex, Next(write_));
    return 1;
  }

  // The slot is copied out before the new read index frees it.
  int Get(Record& record) {
    if (Empty()) return 0;
    record = fifo_.slots[read_];
    StoreIndex(fifo_.readIndex, Next(read_));
    return 1;
  }

  // Each side resets only its own index, to the other one; a bad other index
  // is not copied, so this side's index at least becomes valid again.
  static void ResetWrite(Fifo& fifo) {
    const std::uint32_t read = LoadIndex(fifo.readIndex);
    StoreIndex(fifo.writeIndex, read < kSlots ? read : 0);
  }
  static void ResetRead(Fifo& fifo) {
    const std::uint32_t write = LoadIndex(fifo.writeIndex);
    StoreIndex(fifo.readIndex, write < kSlots ? write : 0);
  }

 private:
  static std::uint32_t LoadIndex(std::uint32_t& index) {
    return std::atomic_ref<std::uint32_t>(index).load(std::memory_order_acquire);
  }
  static void StoreIndex(std::uint32_t& index, std::uint32_t value) {
    std::atomic_ref<std::uint32_t>(index).store(value, std::memory_order_release);
  }
  static std::uint32_t Next(std::uint32_t index) { return index + 1 >= kSlots ? 0 : index + 1; }

  Fifo& fifo_;
  const std::uint32_t write_;
  const std::uint32_t read_;
};
