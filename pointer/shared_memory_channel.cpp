#include "pointer/shared_memory_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

std::string Format(const char* format, ...) {
  char text[520];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace

SharedMemoryChannel::SharedMemoryChannel(std::string_view creationName)
    : creationName_(creationName) {}

SharedMemoryChannel::~SharedMemoryChannel() {
  SharedMemoryClose();
}

int SharedMemoryChannel::SharedMemoryInit(int bCreateNew, const std::string& folder,
                                          std::uint32_t& structVersion, int& created) {
  SharedMemoryClose();  // a channel holds one area at a time
  created = 0;
  if (bCreateNew != 1) return Fail("bCreateNew==FALSE: the server only creates the area");
  rendezvous_.SetFolder(folder);
  return Create(structVersion, created);
}

int SharedMemoryChannel::FailCreate(int error) {
  if (error == platform::SharedMemory::kTakenByOtherProgram) {
    return Fail("The shared memory name " + mappingName_ + " is taken by another program");
  }
  return Fail(Format("Could not create file mapping object (%d)", error));
}

int SharedMemoryChannel::Create(std::uint32_t& structVersion, int& created) {
  mappingName_ = creationName_;
  int error = 0;
  switch (rendezvous_.ClaimArea(memory_, mappingName_, error)) {
    case RendezvousFile::Claim::kClaimed:
      break;
    case RendezvousFile::Claim::kHeldByRunningCreator:
      return Fail("The TVXHDV shared memory belongs to a running server");
    case RendezvousFile::Claim::kFailed:
      return FailCreate(error);
    case RendezvousFile::Claim::kLeftoverKept:
      return Fail("bCreateNew==TRUE but can not delete existing TVXHDVMemory.INI");
  }

  if (const platform::Result made = memory_.Create(kSharedMemorySize); !made) {
    return FailCreate(made.Code());
  }
  void* view = nullptr;
  if (const platform::Result mapped = memory_.MapView(kSharedMemorySize, view); !mapped) {
    SharedMemoryClose();
    return Fail(Format("Could not map view of file (%d)", mapped.Code()));
  }
  std::memset(view, 0, kSharedMemorySize);

  if (!rendezvous_.WriteMappingName(mappingName_, error)) {
    SharedMemoryClose();
    return Fail(Format("WritePrivateProfileString/SharedMemoryName (%d,%s)", error,
                       rendezvous_.TemporaryPath().c_str()));
  }
  if (!rendezvous_.WriteCreatorProcessId(error)) {
    SharedMemoryClose();
    return Fail(Format("WritePrivateProfileString/CreatorProcessID (%d,%s)", error,
                       rendezvous_.TemporaryPath().c_str()));
  }

  created = 1;
  area_ = static_cast<SharedMemoryArea*>(view);
  area_->totalSize = kSharedMemorySize;
  area_->structVersion = StructVersion;
  structVersion = StructVersion;
  area_->versionBlockSize = kVersionBlockSize;
  area_->pointerFifo.blockSize = PointerFifo::kBlockSize;
  for (CommandFifo& fifo : area_->commandFifos) fifo.blockSize = CommandFifo::kBlockSize;
  std::memcpy(area_->fillText, FillText, kFillTextLength + 1);
  // Without it consumers look for reports every millisecond instead of
  // sleeping: slower, and still working.
  static_cast<void>(wake_.Create(mappingName_));
  // Without it consumers get no names; reports and commands go on as ever.
  static_cast<void>(names_.Create(mappingName_));
  PutHeldReports();
  return 1;
}

int SharedMemoryChannel::SharedMemoryInitComplete() {
  if (!rendezvous_.Publish()) {
    Fail("SharedMemoryInitComplete: MoveFile error");
    SharedMemoryClose();
    return 0;
  }
  return 1;
}

int SharedMemoryChannel::SharedMemoryClose() {
  wake_.Close();
  names_.Close();
  memory_.UnmapView();
  area_ = nullptr;
  notices_.Forget();
  const bool open = memory_.IsOpen();
  const platform::Result closed = memory_.Close();  // also lets go of a claim without an object
  if (!open) return -1;
  return closed ? 1 : 0;
}

int SharedMemoryChannel::Fail(std::string text) {
  lastErrorText_ = std::move(text);
  return 0;
}

SharedMemoryArea* SharedMemoryChannel::LiveArea() const {
  return area_ != nullptr && !memory_.ViewLost() ? area_ : nullptr;
}

// Another program may write any value into the server's own index; nobody
// else may reset it, so the server does, or that FIFO would stay dead.
template <typename Fifo>
bool SharedMemoryChannel::RepairOwnIndex(Fifo& fifo, const FifoRing<Fifo>& seen,
                                         int fifoNumber) const {
  // The server writes reports and reads commands.
  constexpr bool kWritesHere = std::is_same_v<Fifo, PointerFifo>;
  const std::uint32_t own = kWritesHere ? seen.WriteIndex() : seen.ReadIndex();
  if (own < FifoRing<Fifo>::kSlots) return false;
  if constexpr (kWritesHere) {
    FifoRing<Fifo>::ResetWrite(fifo);
  } else {
    FifoRing<Fifo>::ResetRead(fifo);
  }
  notices_.NoteOwnIndexReset(fifoNumber, seen.WriteIndex(), seen.ReadIndex());
  return true;
}

template <typename Fifo>
FifoRing<Fifo> SharedMemoryChannel::RingOf(Fifo& fifo, int fifoNumber) const {
  const FifoRing<Fifo> seen(fifo);
  const FifoRing<Fifo> ring = RepairOwnIndex(fifo, seen, fifoNumber) ? FifoRing<Fifo>(fifo) : seen;
  notices_.NoteFifo(fifoNumber, ring.Usable(), ring.WriteIndex(), ring.ReadIndex());
  return ring;
}

ChannelNotice SharedMemoryChannel::TakeNotice(std::uint32_t now) {
  return notices_.Take(area_ != nullptr && memory_.ViewLost(), now);
}

// The area can be cut short under the put itself: the write then lands in
// the zero pages that took its place, and only the lost view tells.
int SharedMemoryChannel::PutPointerReport(const PointerReportRecord& record) {
  SharedMemoryArea* area = LiveArea();
  const bool put =
      area != nullptr && RingOf(area->pointerFifo, ChannelNotice::kPointerFifo).Put(record) != 0;
  if (AreaCutShort()) {
    HoldReport(record);
    return 0;
  }
  if (!put) return 0;
  wake_.AfterPut(area->pointerFifo.writeIndex);
  return 1;
}

void SharedMemoryChannel::HoldReport(const PointerReportRecord& record) {
  if (heldCount_ < heldReports_.size()) heldReports_[heldCount_++] = record;
}

// Into a fresh area, before any consumer can open it: in the order they came.
void SharedMemoryChannel::PutHeldReports() {
  for (std::size_t i = 0; i < heldCount_; ++i) {
    static_cast<void>(FifoRing<PointerFifo>(area_->pointerFifo).Put(heldReports_[i]));
  }
  if (heldCount_ != 0) wake_.AfterPut(area_->pointerFifo.writeIndex);
  heldCount_ = 0;
}

int SharedMemoryChannel::IsPointerFifoEmpty() const {
  SharedMemoryArea* area = LiveArea();
  return area == nullptr || RingOf(area->pointerFifo, ChannelNotice::kPointerFifo).Empty() ? 1 : 0;
}

int SharedMemoryChannel::IsPointerFifoFull() const {
  SharedMemoryArea* area = LiveArea();
  return area == nullptr || RingOf(area->pointerFifo, ChannelNotice::kPointerFifo).Full() ? 1 : 0;
}

int SharedMemoryChannel::PointerFifoCount() const {
  SharedMemoryArea* area = LiveArea();
  return area != nullptr ? RingOf(area->pointerFifo, ChannelNotice::kPointerFifo).Count() : 0;
}

int SharedMemoryChannel::PointerFifoFree() const {
  SharedMemoryArea* area = LiveArea();
  return area != nullptr ? RingOf(area->pointerFifo, ChannelNotice::kPointerFifo).Free() : 0;
}

CommandFifo* SharedMemoryChannel::CommandFifoOf(int pointer) const {
  SharedMemoryArea* area = LiveArea();
  if (area == nullptr || pointer < 0 || pointer >= kCommandFifoCount) return nullptr;
  return &area->commandFifos[pointer];
}

int SharedMemoryChannel::GetCommand(int pointer, CommandRecord& record) {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? RingOf(*fifo, pointer).Get(record) : 0;
}

int SharedMemoryChannel::IsCommandFifoEmpty(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo == nullptr || RingOf(*fifo, pointer).Empty() ? 1 : 0;
}

int SharedMemoryChannel::IsCommandFifoFull(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo == nullptr || RingOf(*fifo, pointer).Full() ? 1 : 0;
}

int SharedMemoryChannel::CommandFifoCount(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? RingOf(*fifo, pointer).Count() : 0;
}

int SharedMemoryChannel::CommandFifoFree(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? RingOf(*fifo, pointer).Free() : 0;
}

int SharedMemoryChannel::FillTextMatches() const {
  if (LiveArea() == nullptr) return 0;
  return std::memcmp(area_->fillText, FillText, kFillTextLength + 1) == 0 ? 1 : 0;
}

void SharedMemoryChannel::PublishName(int pointer, std::string_view utf8) {
  names_.Publish(pointer, utf8);
  if (SharedMemoryArea* area = LiveArea()) wake_.AfterPut(area->pointerFifo.writeIndex);
}
