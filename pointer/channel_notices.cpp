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
    case ChannelNotice::Kind::kOwnIndexReset:
      if (notice.fifo == ChannelNotice::kPointerFifo) {
        length = std::snprintf(out, size,
                               "PointerFifo write index %u was outside its slots (0 to %u): "
                               "reset to the read index %u",
                               notice.writeIndex, PointerFifo::kSlotCount - 1,
                               notice.readIndex < PointerFifo::kSlotCount ? notice.readIndex : 0);
      } else {
        length = std::snprintf(
            out, size,
            "CommandFifo %d read index %u was outside its slots (0 to %u): reset to the write "
            "index %u",
            notice.fifo, notice.readIndex, CommandFifo::kSlotCount - 1,
            notice.writeIndex < CommandFifo::kSlotCount ? notice.writeIndex : 0);
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
  Queue(ChannelNotice{ChannelNotice::Kind::kFifoUnusable, fifo, writeIndex, readIndex});
}

void ChannelNotices::NoteOwnIndexReset(int fifo, std::uint32_t writeIndex,
                                       std::uint32_t readIndex) {
  Queue(ChannelNotice{ChannelNotice::Kind::kOwnIndexReset, fifo, writeIndex, readIndex});
}

void ChannelNotices::Queue(const ChannelNotice& notice) {
  if (pendingCount_ == kPendingCount) return;  // nobody takes them
  pending_[static_cast<std::size_t>(pendingCount_++)] = notice;
}

ChannelNotice ChannelNotices::Take(bool areaCutShort, std::uint32_t now) {
  if (areaCutShort && !cutShortNoted_) {
    cutShortNoted_ = true;
    return ChannelNotice{ChannelNotice::Kind::kAreaCutShort};
  }
  while (pendingCount_ != 0) {
    const ChannelNotice oldest = pending_[0];
    for (int i = 1; i < pendingCount_; ++i) {
      pending_[static_cast<std::size_t>(i - 1)] = pending_[static_cast<std::size_t>(i)];
    }
    --pendingCount_;
    if (TellNow(oldest, now)) return oldest;
    // Held back for the minute: a FIFO that stays broken is noted again,
    // so that it is told once the minute is over.
    if (oldest.kind == ChannelNotice::Kind::kFifoUnusable) {
      unusableFifos_.reset(static_cast<std::size_t>(oldest.fifo + 1));
    }
  }
  return {};
}

std::size_t ChannelNotices::ToldSlot(const ChannelNotice& notice) {
  const auto fifo = static_cast<std::size_t>(notice.fifo + 1);
  return notice.kind == ChannelNotice::Kind::kOwnIndexReset ? kFifoCount + fifo : fifo;
}

// A consumer that flips an index between good and bad would otherwise fill
// the log with thousands of lines a second.
bool ChannelNotices::TellNow(const ChannelNotice& notice, std::uint32_t now) {
  const std::size_t slot = ToldSlot(notice);
  if (told_.test(slot) && now - toldAt_[slot] < kRepeatAfterMs) return false;
  told_.set(slot);
  toldAt_[slot] = now;
  return true;
}

// The once-a-minute limit outlives the area: a new area is broken by the
// same program as the old one.
void ChannelNotices::Forget() {
  pendingCount_ = 0;
  unusableFifos_.reset();
  cutShortNoted_ = false;
}
