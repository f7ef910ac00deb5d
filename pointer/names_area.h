// The pointers' names for consuming applications: a small object beside the
// shared memory area, "<area name> names", made with the area and found by
// the kit the way it finds the wake object. The area itself keeps its size
// and layout byte for byte, so consumers that never ask for names see no
// change at all.
//
// Layout, 32-bit little-endian values: a 32-byte header (total size, layout
// version, slot count, slot size, change count, 12 bytes reserved), then one
// slot per pointer: a sequence count and 96 bytes of UTF-8, NUL-padded. The
// server is the only writer. It makes a slot's count odd, writes the name,
// makes it even again, then counts the change in the header; a reader copies
// a name between two reads of an equal, even count, so it never takes a name
// half written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/pointer_limits.h"
#include "platform/shared_memory.h"

struct NamesAreaSlot {
  std::uint32_t sequence;
  char utf8[96];
};

struct NamesAreaLayout {
  std::uint32_t totalSize;
  std::uint32_t layoutVersion;
  std::uint32_t slotCount;
  std::uint32_t slotSize;
  std::uint32_t changes;
  std::uint32_t reserved[3];
  NamesAreaSlot slots[kPointerCount];
};

inline constexpr char kNamesAreaSuffix[] = " names";
inline constexpr std::uint32_t kNamesAreaVersion = 1;
inline constexpr std::uint32_t kNamesAreaSize = 8032;
static_assert(sizeof(NamesAreaSlot) == 100);
static_assert(sizeof(NamesAreaLayout) == kNamesAreaSize);
static_assert(offsetof(NamesAreaLayout, slots) == 32);

class NamesArea {
 public:
  // Makes the object beside the area of that name, with no names in it.
  platform::Result Create(const std::string& areaName);
  void Close() { object_.Close(); }
  bool IsOpen() const { return object_.View() != nullptr; }

  // The name of pointer (empty: none), cut to whole characters within 96
  // bytes. One writer at a time.
  void Publish(int pointer, std::string_view utf8);

 private:
  NamesAreaLayout* Layout() const { return static_cast<NamesAreaLayout*>(object_.View()); }

  platform::SideObject object_;
};
