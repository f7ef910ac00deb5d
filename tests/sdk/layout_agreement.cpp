// The consumers' kit and the server describe one area: this file does not
// compile when their offsets, sizes, block sizes, flags or fill texts differ.
// Run, it prints the server's side, one "NAME value" a line (the fill text in
// hex), for python_layout_test.py to hold against the Python kit.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <cstddef>
#include <cstdio>

#include "common/pointer_limits.h"
#include "pointer/names_area.h"
#include "pointer/shared_memory_layout.h"

namespace {

constexpr char kKitFillText[] = TVXHDV__FILL_TEXT;

constexpr bool SameBytes(const char* a, const char* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

static_assert(TVXHDV__AREA_SIZE == kSharedMemorySize);
static_assert(TVXHDV__STRUCT_VERSION == StructVersion);
static_assert(TVXHDV__AT_STRUCT_VERSION == offsetof(SharedMemoryArea, structVersion));
static_assert(TVXHDV__AT_FILL_TEXT == offsetof(SharedMemoryArea, fillText));
static_assert(TVXHDV__AT_VERSION_BLOCK == offsetof(SharedMemoryArea, versionBlockSize));
static_assert(TVXHDV__VERSION_BLOCK_SIZE == kVersionBlockSize);
static_assert(TVXHDV__AT_VERSION_BLOCK + 8 == offsetof(SharedMemoryArea, versionWebServerService));

static_assert(TVXHDV__AT_REPORT_FIFO == offsetof(SharedMemoryArea, pointerFifo));
static_assert(TVXHDV__REPORT_FIFO_SIZE == PointerFifo::kBlockSize);
static_assert(TVXHDV__REPORT_SLOTS == PointerFifo::kSlotCount);
static_assert(TVXHDV__REPORT_BYTES == sizeof(PointerReportRecord));

static_assert(TVXHDV__AT_COMMAND_FIFOS == offsetof(SharedMemoryArea, commandFifos));
static_assert(TVXHDV__COMMAND_FIFO_SIZE == CommandFifo::kBlockSize);
static_assert(TVXHDV__COMMAND_SLOTS == CommandFifo::kSlotCount);
static_assert(TVXHDV__COMMAND_BYTES == sizeof(CommandRecord));
static_assert(TVXHDV_COMMAND_FIFOS == kCommandFifoCount);

static_assert(TVXHDV__AT_WRITE == offsetof(PointerFifo, writeIndex));
static_assert(TVXHDV__AT_WRITE == offsetof(CommandFifo, writeIndex));
static_assert(TVXHDV__AT_READ == offsetof(PointerFifo, readIndex));
static_assert(TVXHDV__AT_READ == offsetof(CommandFifo, readIndex));
static_assert(TVXHDV__AT_SLOTS == offsetof(PointerFifo, slots));
static_assert(TVXHDV__AT_SLOTS == offsetof(CommandFifo, slots));

static_assert(TVXHDV_POINTERS == kPointerCount);
static_assert(TVXHDV_FLAG_LEFT == kReportButtonLeft);
static_assert(TVXHDV_FLAG_RIGHT == kReportButtonRight);
static_assert(TVXHDV_FLAG_ON_PAD == kReportAckModeOther);

static_assert(TVXHDV__NAMES_SIZE == kNamesAreaSize);
static_assert(TVXHDV__NAMES_VERSION == kNamesAreaVersion);
static_assert(TVXHDV__NAMES_AT_CHANGES == offsetof(NamesAreaLayout, changes));
static_assert(TVXHDV__NAMES_AT_SLOTS == offsetof(NamesAreaLayout, slots));
static_assert(TVXHDV__NAMES_SLOT_SIZE == sizeof(NamesAreaSlot));
static_assert(TVXHDV_NAME_MAX == sizeof(NamesAreaSlot::utf8));
static_assert(SameBytes(TVXHDV__NAMES_SUFFIX, kNamesAreaSuffix, sizeof(kNamesAreaSuffix)));

static_assert(sizeof(kKitFillText) == sizeof(FillText));
static_assert(SameBytes(kKitFillText, FillText, sizeof(FillText)));

void Print(const char* name, unsigned long value) {
  std::printf("%s %lu\n", name, value);
}

}  // namespace

int main() {
  Print("AREA_SIZE", kSharedMemorySize);
  Print("STRUCT_VERSION", StructVersion);
  Print("AT_FILL_TEXT", offsetof(SharedMemoryArea, fillText));
  Print("AT_VERSION_BLOCK", offsetof(SharedMemoryArea, versionBlockSize));
  Print("AT_REPORT_FIFO", offsetof(SharedMemoryArea, pointerFifo));
  Print("REPORT_FIFO_SIZE", PointerFifo::kBlockSize);
  Print("REPORT_SLOTS", PointerFifo::kSlotCount);
  Print("REPORT_BYTES", sizeof(PointerReportRecord));
  Print("AT_COMMAND_FIFOS", offsetof(SharedMemoryArea, commandFifos));
  Print("COMMAND_FIFO_SIZE", CommandFifo::kBlockSize);
  Print("COMMAND_SLOTS", CommandFifo::kSlotCount);
  Print("COMMAND_FIFOS", kCommandFifoCount);
  Print("POINTERS", kPointerCount);
  Print("FLAG_LEFT", kReportButtonLeft);
  Print("FLAG_RIGHT", kReportButtonRight);
  Print("FLAG_ON_PAD", kReportAckModeOther);
  Print("NAMES_SIZE", kNamesAreaSize);
  Print("NAMES_VERSION", kNamesAreaVersion);
  Print("NAMES_AT_CHANGES", offsetof(NamesAreaLayout, changes));
  Print("NAMES_AT_SLOTS", offsetof(NamesAreaLayout, slots));
  Print("NAMES_SLOT_SIZE", sizeof(NamesAreaSlot));
  Print("NAME_MAX", sizeof(NamesAreaSlot::utf8));
  std::printf("FILL_TEXT ");  // with its terminating zero, as the area holds it
  for (std::size_t i = 0; i < sizeof(FillText); ++i) {
    std::printf("%02X", static_cast<unsigned char>(FillText[i]));
  }
  std::printf("\n");
  return 0;
}
