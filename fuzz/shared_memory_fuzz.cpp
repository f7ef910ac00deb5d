// The shared memory area as a faulty or hostile consumer could leave it: any
// values in its header and FIFO indices, then the server's FIFO operations
// and the kit's (sdk/c/tvxhdv.h) on it. Counts must stay within the slots and
// agree with the free room, the kit must see what the server sees, and
// nothing may be read or written outside the area. The kit keeps the area
// for as long as its size and StructVersion hold what the server wrote.
//
// Script lines (numbers decimal unless marked hex):
//   o<offset> <hex>    the consumer stores a 32-bit value at that byte of the area
//   W<n> / R<n>        report FIFO write / read index
//   w<p> <n> / x<p> <n> command FIFO p write / read index
//   P / D              server puts a report / consumer takes one
//   C<p> <hex> / G<p>  consumer puts a command / server takes one
//   f / F              the report write index / read index is set to the other one
//   g<p> / h<p>        command FIFO p's read index / write index is set to the other one
//   O                  a second consumer opens the area
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/channel_pair.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/script_lines.h"

namespace {

struct Area : ChannelPair {
  Area() {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(server.GetHeader());
    pristine.assign(bytes, bytes + kSharedMemorySize);
  }

  std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(server.GetHeader()); }

  // Puts back what the previous input changed: the stored values and the
  // indices, and a consumer that let go of the area.
  void Restore() {
    for (const std::size_t offset : touched) {
      std::memcpy(Bytes() + offset, pristine.data() + offset, sizeof(std::uint32_t));
    }
    touched.clear();
    SharedMemoryArea& area = *server.GetHeader();
    area.pointerFifo.writeIndex = area.pointerFifo.readIndex = 0;
    for (CommandFifo& fifo : area.commandFifos) fifo.writeIndex = fifo.readIndex = 0;
    static tvxhdv_info info;
    if (tvxhdv_get_info(consumer, &info) == 1) return;
    tvxhdv_close(consumer);
    consumer = tvxhdv_open(FuzzFolder().c_str(), 0);
    if (consumer == nullptr) {
      FuzzFailure(std::string("cannot open the area again: ") + tvxhdv_last_error());
    }
  }

  // The kit's sign that the server's area was cut short and grown again
  // (zeros) or wiped: the server never writes these two values again, so
  // the kit lets go of the area once they differ.
  bool HeaderWrittenOver() { return std::memcmp(Bytes(), pristine.data(), 8) != 0; }

  void Store(std::size_t offset, std::uint32_t value) {
    offset %= kSharedMemorySize - sizeof value + 1;
    touched.push_back(offset);
    std::memcpy(Bytes() + offset, &value, sizeof value);
  }

  std::vector<std::uint8_t> pristine;
  std::vector<std::size_t> touched;
};

// An index outside the slots makes a FIFO hold nothing and take nothing;
// otherwise what it holds and the room it has add up to all slots but one.
void CheckCounts(int count, int free, int slots, int empty, int full) {
  if (count < 0 || free < 0 || count > slots - 1 || free > slots - 1) {
    FuzzFailure("FIFO count or free room outside the slots");
  }
  if (count + free != slots - 1 && (count != 0 || free != 0)) {
    FuzzFailure("FIFO count and free room disagree");
  }
  if ((count == 0) != (empty == 1)) FuzzFailure("FIFO empty flag disagrees with its count");
  if ((free == 0) != (full == 1)) FuzzFailure("FIFO full flag disagrees with its room");
}

void CheckReportFifo(const SharedMemoryChannel& side) {
  CheckCounts(side.PointerFifoCount(), side.PointerFifoFree(), PointerFifo::kSlotCount,
              side.IsPointerFifoEmpty(), side.IsPointerFifoFull());
}

// What a consumer's handle finds in the area; null once it let go of an
// area whose header was written over, which is the only reason it may.
const tvxhdv_info* InfoOf(Area& area, tvxhdv* consumer) {
  static tvxhdv_info info;  // large: the counts of all 600 command FIFOs
  if (tvxhdv_get_info(consumer, &info) == 1) return &info;
  if (!area.HeaderWrittenOver()) FuzzFailure("the kit let go of a running area");
  return nullptr;
}

// After the server's own checks, which repair its indices: the kit counts
// the same records. False once the kit let go of the area.
bool CheckKitAgrees(Area& area, tvxhdv* consumer, int pointer) {
  const SharedMemoryChannel& server = area.server;
  const tvxhdv_info* const held = InfoOf(area, consumer);
  if (held == nullptr) return false;
  const tvxhdv_info& info = *held;
  if (info.reports_queued != server.PointerFifoCount()) {
    FuzzFailure("the kit and the server count different reports");
  }
  if (pointer >= 0 && pointer < kCommandFifoCount &&
      info.commands_queued[pointer] != server.CommandFifoCount(pointer)) {
    FuzzFailure("the kit and the server count different commands");
  }
  return true;
}

void CheckCommandFifo(const SharedMemoryChannel& side, int pointer) {
  if (pointer < 0 || pointer >= kCommandFifoCount) {
    if (side.CommandFifoCount(pointer) != 0 || side.CommandFifoFree(pointer) != 0 ||
        !side.IsCommandFifoEmpty(pointer) || !side.IsCommandFifoFull(pointer)) {
      FuzzFailure("a pointer number without a command FIFO holds or takes something");
    }
    return;
  }
  CheckCounts(side.CommandFifoCount(pointer), side.CommandFifoFree(pointer),
              CommandFifo::kSlotCount, side.IsCommandFifoEmpty(pointer),
              side.IsCommandFifoFull(pointer));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Area* const area = new Area;
  area->Restore();
  SharedMemoryArea& header = *area->server.GetHeader();

  ScriptLines script(data, size);
  std::string_view line;
  std::uint32_t serial = 0;
  while (script.Next(line)) {
    if (line.empty()) continue;
    const char operation = line.front();
    line.remove_prefix(1);
    int pointer = -1;
    switch (operation) {
      case 'o': {
        const auto offset = LeadingNumber<std::size_t>(line, 0);
        area->Store(offset, LeadingNumber<std::uint32_t>(line, 0, 16));
        break;
      }
      case 'W':
        header.pointerFifo.writeIndex = LeadingNumber<std::uint32_t>(line, 0);
        break;
      case 'R':
        header.pointerFifo.readIndex = LeadingNumber<std::uint32_t>(line, 0);
        break;
      case 'w':
      case 'x': {
        const auto p = LeadingNumber<std::uint32_t>(line, 0) % kCommandFifoCount;
        const auto index = LeadingNumber<std::uint32_t>(line, 0);
        (operation == 'w' ? header.commandFifos[p].writeIndex : header.commandFifos[p].readIndex) =
            index;
        break;
      }
      case 'P': {
        PointerReportRecord record;
        record.frame = ++serial;
        const int free = area->server.PointerFifoFree();
        if (area->server.PutPointerReport(record) != (free > 0 ? 1 : 0)) {
          FuzzFailure("report put disagrees with the free room");
        }
        break;
      }
      case 'D': {
        tvxhdv_report record;
        const tvxhdv_info* const info = InfoOf(*area, area->consumer);
        if (info == nullptr) return 0;
        const int count = info->reports_queued;
        if (tvxhdv_read(area->consumer, &record, 1) != (count > 0 ? 1 : 0)) {
          FuzzFailure("report get disagrees with the count");
        }
        break;
      }
      case 'C': {
        pointer = LeadingNumber<int>(line, 0);
        area->PutCommand(pointer, LeadingNumber<std::uint32_t>(line, 0, 16));
        break;
      }
      case 'G': {
        pointer = LeadingNumber<int>(line, 0);
        CommandRecord record;
        area->server.GetCommand(pointer, record);
        break;
      }
      case 'f':
        FifoRing<PointerFifo>::ResetWrite(header.pointerFifo);
        break;
      case 'F':
        FifoRing<PointerFifo>::ResetRead(header.pointerFifo);
        break;
      case 'g':
      case 'h':
        pointer = LeadingNumber<int>(line, 0);
        if (pointer < 0 || pointer >= kCommandFifoCount) break;
        if (operation == 'g') {
          FifoRing<CommandFifo>::ResetRead(header.commandFifos[pointer]);
        } else {
          FifoRing<CommandFifo>::ResetWrite(header.commandFifos[pointer]);
        }
        break;
      case 'O': {
        // Refused when the header no longer matches; else it counts as the first.
        tvxhdv* second = tvxhdv_open(FuzzFolder().c_str(), TVXHDV_SEND_ONLY);
        if (second != nullptr) {
          CheckReportFifo(area->server);
          CheckKitAgrees(*area, second, -1);
        }
        tvxhdv_close(second);
        break;
      }
      default:
        break;
    }
    CheckReportFifo(area->server);
    if (pointer != -1) CheckCommandFifo(area->server, pointer);
    if (!CheckKitAgrees(*area, area->consumer, pointer)) return 0;
  }
  return 0;
}
