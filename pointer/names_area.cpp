#include "pointer/names_area.h"

#include <atomic>

namespace {

std::atomic_ref<std::uint32_t> Word(std::uint32_t& word) {
  return std::atomic_ref<std::uint32_t>(word);
}

// A name longer than a slot is cut before the character that does not fit.
std::size_t WholeCharactersWithin(std::string_view utf8, std::size_t limit) {
  if (utf8.size() <= limit) return utf8.size();
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
  return end;
}

}  // namespace

platform::Result NamesArea::Create(const std::string& areaName) {
  const platform::Result made = object_.Create(areaName, kNamesAreaSuffix, kNamesAreaSize);
  if (!made) return made;
  NamesAreaLayout* layout = Layout();
  layout->totalSize = kNamesAreaSize;
  layout->layoutVersion = kNamesAreaVersion;
  layout->slotCount = kPointerCount;
  layout->slotSize = sizeof(NamesAreaSlot);
  return made;
}

void NamesArea::Publish(int pointer, std::string_view utf8) {
  NamesAreaLayout* layout = Layout();
  if (layout == nullptr || !IsValidPointer(pointer)) return;
  NamesAreaSlot& slot = layout->slots[pointer];
  const std::size_t length = WholeCharactersWithin(utf8, sizeof slot.utf8);
  const std::uint32_t sequence = Word(slot.sequence).load(std::memory_order_relaxed);
  // A count left odd by anyone else is made even again by this write.
  const std::uint32_t writing = (sequence | 1u) + ((sequence & 1u) ? 2u : 0u);
  Word(slot.sequence).store(writing, std::memory_order_relaxed);
  // Each byte goes with release order, so a reader that sees any of them
  // also sees the odd count before it. (A release fence after the count
  // would do as well, but ThreadSanitizer takes no fences.)
  for (std::size_t i = 0; i < sizeof slot.utf8; ++i) {
    std::atomic_ref<char>(slot.utf8[i])
        .store(i < length ? utf8[i] : '\0', std::memory_order_release);
  }
  Word(slot.sequence).store(writing + 1, std::memory_order_release);
  Word(layout->changes).fetch_add(1, std::memory_order_acq_rel);
}
