// What the owner of a shared memory channel should write to its log, once,
// and the texts it writes. The channel writes no log itself, and its FIFO
// operations run under the owner's lock, where nothing is logged: they note
// here what they find, and the owner takes the notices when it can log.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

#include "pointer/shared_memory_layout.h"

struct ChannelNotice {
  enum class Kind {
    kNone,
    kAreaCutShort,  // another process truncated the area; nothing moves any more
    kFifoUnusable,  // a FIFO was found with an index outside its slots
  };
  static constexpr int kPointerFifo = -1;

  Kind kind = Kind::kNone;
  int fifo = kPointerFifo;  // kFifoUnusable: kPointerFifo or a command FIFO's pointer number
  std::uint32_t writeIndex = 0;
  std::uint32_t readIndex = 0;
};

// The notice as one line of text (without a line end); its length.
std::size_t FormatChannelNotice(const ChannelNotice& notice, char* out, std::size_t size);

// The notices not yet taken, oldest first. A FIFO is noted when it is first
// found unusable, and again only after it was found usable in between; the
// cut-short area once per area. Not locked: the channel's caller serialises.
class ChannelNotices {
 public:
  // Notes the FIFO (kPointerFifo or a pointer number) as found just now.
  void NoteFifo(int fifo, bool usable, std::uint32_t writeIndex, std::uint32_t readIndex);
  // The oldest notice not yet taken (kind kNone when there is none); when the
  // area is cut short, that comes first.
  ChannelNotice Take(bool areaCutShort);
  // A new area begins with no notices.
  void Forget();

 private:
  static constexpr int kPendingCount = 8;
  std::array<ChannelNotice, kPendingCount> pending_{};
  int pendingCount_ = 0;
  std::bitset<1 + kCommandFifoCount> unusableFifos_;  // index: FIFO number + 1
  bool cutShortNoted_ = false;
};
