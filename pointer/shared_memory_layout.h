// The shared memory area that the server shares with a consuming application:
// its byte layout, the records that cross it and the fixed texts in it.
// Consumers are built elsewhere against their kit (sdk/), so every offset is
// checked below, and the build checks that the kit holds the same numbers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "pointer/fill_text.h"

// One pointer report as the server forwards it, 24 bytes.
struct PointerReportRecord {
  std::uint32_t screen = 0;   // 0 to 255
  std::uint32_t frame = 0;    // 0 to 65535 as the phone sent it
  std::uint32_t pointer = 0;  // 0 to 255
  std::uint32_t x = 0;        // 0 to 65535
  std::uint32_t y = 0;        // 0 to 65535
  std::uint32_t flags = 0;    // see the kReport... bits
};

inline constexpr std::uint32_t kReportButtonLeft = 0x100;
inline constexpr std::uint32_t kReportButtonRight = 0x200;
inline constexpr std::uint32_t kReportAckModeOther = 0xC000;  // AckMode neither 0 nor 1

// The flags field of a report from the decoded button and AckMode values.
inline constexpr std::uint32_t PointerReportFlags(int buttonLeft, int buttonRight, int ackMode) {
  return (buttonLeft == 1 ? kReportButtonLeft : 0u) | (buttonRight == 1 ? kReportButtonRight : 0u) |
         (ackMode != 0 && ackMode != 1 ? kReportAckModeOther : 0u);
}

// One command for a phone, 8 bytes. The low 8 bits of `command` are the code.
struct CommandRecord {
  std::uint32_t command = 0;
  std::uint32_t unused = 0;  // the server never reads it
};

// A FIFO block: its size, the two indices and the slots. The writer moves
// only writeIndex, the reader only readIndex.
template <typename Record, std::uint32_t SlotCount, std::size_t ReservedBytes>
struct FifoBlock {
  using RecordType = Record;
  static constexpr std::uint32_t kSlotCount = SlotCount;
  static constexpr std::uint32_t kBlockSize =
      3 * sizeof(std::uint32_t) + SlotCount * sizeof(Record) + ReservedBytes;

  std::uint32_t blockSize;
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  Record slots[SlotCount];
  std::uint8_t reserved[ReservedBytes];
};

// Reports, server to consumer.
using PointerFifo = FifoBlock<PointerReportRecord, 16000, 24>;
// Commands, consumer to server; one per pointer number.
using CommandFifo = FifoBlock<CommandRecord, 800, 8>;

inline constexpr std::uint32_t kSharedMemorySize = 4240072;
inline constexpr std::uint32_t StructVersion = 0x23020902;
inline constexpr std::uint32_t kVersionBlockSize = 28;
inline constexpr int kCommandFifoCount = 600;
inline constexpr std::size_t kFillTextCapacity = 4000;

// The whole area as it lies in memory.
struct SharedMemoryArea {
  std::uint32_t totalSize;
  std::uint32_t structVersion;
  char fillText[kFillTextCapacity];  // FillText, zero-terminated, zero-padded
  std::uint32_t versionBlockSize;
  std::uint32_t reserved1;
  std::uint32_t versionWebServerService;
  std::uint8_t reserved2[16];
  PointerFifo pointerFifo;
  CommandFifo commandFifos[kCommandFifoCount];
};

// The server program's file version as it is stored in versionWebServerService.
inline constexpr std::uint32_t ComposeVersionWebServerService(std::uint32_t major,
                                                              std::uint32_t minor,
                                                              std::uint32_t build,
                                                              std::uint32_t revision) {
  return (major << 24) + (minor << 16) + (build << 8) + revision;
}

// The mapping name the server creates the area under: 100 printable ASCII
// characters, no backslash and no slash (a POSIX shared memory name may not
// hold one either).
inline constexpr char NoticeText[] =
    "TVXHandvane pointer reports and phone commands, shared by the TVXHDV server with a consuming "
    "program";

// The text the creator copies to fillText: 72 lines ended by CR LF, English and
// German, Windows-1252, 3306 bytes without its terminating zero.
inline constexpr std::size_t kFillTextLength = 3306;
static_assert(sizeof(FillText) == kFillTextLength + 1);
static_assert(sizeof(FillText) <= kFillTextCapacity);

// The area is shared with programs built elsewhere: fix every byte of it.
static_assert(std::endian::native == std::endian::little);
static_assert(sizeof(PointerReportRecord) == 24);
static_assert(sizeof(CommandRecord) == 8);
static_assert(sizeof(PointerFifo) == 384036 && PointerFifo::kBlockSize == 384036);
static_assert(sizeof(CommandFifo) == 6420 && CommandFifo::kBlockSize == 6420);
static_assert(offsetof(PointerFifo, slots) == 12 && offsetof(PointerFifo, reserved) == 384012);
static_assert(offsetof(CommandFifo, slots) == 12 && offsetof(CommandFifo, reserved) == 6412);
static_assert(offsetof(SharedMemoryArea, structVersion) == 4);
static_assert(offsetof(SharedMemoryArea, fillText) == 8);
static_assert(offsetof(SharedMemoryArea, versionBlockSize) == 4008);
static_assert(offsetof(SharedMemoryArea, versionWebServerService) == 4016);
static_assert(offsetof(SharedMemoryArea, pointerFifo) == 4036);
static_assert(offsetof(SharedMemoryArea, commandFifos) == 388072);
static_assert(sizeof(SharedMemoryArea) == kSharedMemorySize);
static_assert(sizeof(NoticeText) == 101);
