#include "pointer/channel_notices.h"

#include <cstdio>

std::size_t FormatChannelNotice(const ChannelNotice& notice, char* out, std::size_t size) {
  if (size == 0) return 0;
  int length = 0;
  switch (notice.kind) {
    case ChannelNotice::Kind::kNone:
      out[0] = '\0';
      return 0;
    case ChannelNotice::Kind::kAreaCutShort:
      length = std::snprintf(out, size,
                             "The TVXHDV shared memory was cut short by another process: "
                             "nothing is forwarded any more");
      break;
    case ChannelNotice::Kind::kFifoUnusable:
      if (notice.fifo == ChannelNotice::kPointerFifo) {
        length = std::snprintf(
            out, size, "PointerFifo unusable: write index %u, read index %u (slots 0 to %u)",
            notice.writeIndex, notice.readIndex, PointerFifo::kSlotCount - 1);
      } else {
        length = std::snprintf(
            out, size, "CommandFifo %d unusable: write index %u, read index %u (slots 0 to %u)",
            notice.fifo, notice.writeIndex, notice.readIndex, CommandFifo::kSlotCount - 1);
      }
      break;
  }
  if (length < 0) length = 0;
  return static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length) : size - 1;
}

// An unusable FIFO stops forwarding or taking commands without a word; the
// note tells the operator why, once per time it breaks.
void ChannelNotices::NoteFifo(int fifo, bool usable, std::uint32_t writeIndex,
                              std::uint32_t readIndex) {
  const auto bit = static_cast<std::size_t>(fifo + 1);
  if (usable || unusableFifos_.test(bit)) {
    unusableFifos_.set(bit, !usable);
    return;
  }
  unusableFifos_.set(bit);
  if (pendingCount_ == kPendingCount) return;  // nobody takes them
  pending_[static_cast<std::size_t>(pendingCount_++)] =
      ChannelNotice{ChannelNotice::Kind::kFifoUnusable, fifo, writeIndex, readIndex};
}

ChannelNotice ChannelNotices::Take(bool areaCutShort) {
  if (areaCutShort && !cutShortNoted_) {
    cutShortNoted_ = true;
    return ChannelNotice{ChannelNotice::Kind::kAreaCutShort};
  }
  if (pendingCount_ == 0) return {};
  const ChannelNotice oldest = pending_[0];
  for (int i = 1; i < pendingCount_; ++i) {
    pending_[static_cast<std::size_t>(i - 1)] = pending_[static_cast<std::size_t>(i)];
  }
  --pendingCount_;
  return oldest;
}

void ChannelNotices::Forget() {
  pendingCount_ = 0;
  unusableFifos_.reset();
  cutShortNoted_ = false;
}
