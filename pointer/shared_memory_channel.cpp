#include "pointer/shared_memory_channel.h"

#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace {

constexpr char kRendezvousFileName[] = "TVXHDVMemory.INI";
constexpr char kTemporaryFileName[] = "TVXHDVMemory.TMP";
constexpr char kSection[] = "Memory";
constexpr char kNameKey[] = "SharedMemoryName";
constexpr char kCreatorKey[] = "CreatorProcessID";

// The indices live in memory that another process writes at the same time.
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint32_t>::required_alignment <= alignof(std::uint32_t));

std::uint32_t LoadIndex(std::uint32_t& index) {
  return std::atomic_ref<std::uint32_t>(index).load(std::memory_order_acquire);
}

void StoreIndex(std::uint32_t& index, std::uint32_t value) {
  std::atomic_ref<std::uint32_t>(index).store(value, std::memory_order_release);
}

// The two indices of a FIFO as one side sees them. An index outside the slots
// was written by a faulty or foreign process; such a FIFO is unusable (holds
// nothing, takes nothing) until the side that owns the bad index resets it.
template <typename Fifo>
struct FifoState {
  static constexpr std::uint32_t kSlots = Fifo::kSlotCount;

  explicit FifoState(Fifo& fifo)
      : write(LoadIndex(fifo.writeIndex)), read(LoadIndex(fifo.readIndex)) {}

  bool Usable() const { return write < kSlots && read < kSlots; }
  bool Empty() const { return !Usable() || write == read; }
  bool Full() const { return !Usable() || write + 1 == read || (write == kSlots - 1 && read == 0); }
  int Count() const {
    if (!Usable()) return 0;
    return static_cast<int>(write >= read ? write - read : write - read + kSlots);
  }
  int Free() const {
    if (!Usable()) return 0;
    return static_cast<int>(write < read ? read - write - 1 : read - write + kSlots - 1);
  }
  static std::uint32_t Next(std::uint32_t index) { return index + 1 >= kSlots ? 0 : index + 1; }

  std::uint32_t write;
  std::uint32_t read;
};

// The record goes into its slot before the new write index is published.
template <typename Fifo>
int PutRecord(Fifo& fifo, const FifoState<Fifo>& state, const typename Fifo::RecordType& record) {
  if (state.Full()) return 0;
  fifo.slots[state.write] = record;
  StoreIndex(fifo.writeIndex, FifoState<Fifo>::Next(state.write));
  return 1;
}

// The slot is copied out before the new read index frees it.
template <typename Fifo>
int GetRecord(Fifo& fifo, const FifoState<Fifo>& state, typename Fifo::RecordType& record) {
  if (state.Empty()) return 0;
  record = fifo.slots[state.read];
  StoreIndex(fifo.readIndex, FifoState<Fifo>::Next(state.read));
  return 1;
}

// Each side resets only its own index, to the other one; a bad other index is
// not copied, so this side's index at least becomes valid again.
template <typename Fifo>
void ResetWriteIndex(Fifo& fifo) {
  const std::uint32_t read = LoadIndex(fifo.readIndex);
  StoreIndex(fifo.writeIndex, read < Fifo::kSlotCount ? read : 0);
}

template <typename Fifo>
void ResetReadIndex(Fifo& fifo) {
  const std::uint32_t write = LoadIndex(fifo.writeIndex);
  StoreIndex(fifo.readIndex, write < Fifo::kSlotCount ? write : 0);
}

std::string Format(const char* format, ...) {
  char text[520];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  return text;
}

std::string InFolder(const std::string& folder, const char* fileName) {
  // The folder is used as given: an empty one means the root folder.
  return folder + platform::PathSeparator() + fileName;
}

}  // namespace

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

SharedMemoryChannel::SharedMemoryChannel(std::string_view creationName)
    : creationName_(creationName) {}

SharedMemoryChannel::~SharedMemoryChannel() {
  SharedMemoryClose();
}

int SharedMemoryChannel::SharedMemoryInit(int bCreateNew, const std::string& folder,
                                          std::uint32_t& structVersion, int& created) {
  SharedMemoryClose();  // a channel holds one area at a time
  created = 0;
  folder_ = folder;
  rendezvousFilePath_ = InFolder(folder_, kRendezvousFileName);
  return bCreateNew == 1 ? Create(structVersion, created) : Open(structVersion);
}

int SharedMemoryChannel::FailCreate(int error) {
  if (error == platform::SharedMemory::kTakenByOtherProgram) {
    return Fail("The shared memory name " + mappingName_ + " is taken by another program");
  }
  return Fail(Format("Could not create file mapping object (%d)", error));
}

int SharedMemoryChannel::Create(std::uint32_t& structVersion, int& created) {
  mappingName_ = creationName_;
  // A running server keeps its area and its rendezvous file; only a name
  // that nobody runs under any more is taken over.
  const platform::SharedMemory::ClaimResult claim = memory_.ClaimName(mappingName_);
  switch (claim.claim) {
    case platform::SharedMemory::Claim::kClaimed:
      break;
    case platform::SharedMemory::Claim::kHeldByRunningCreator:
      return Fail("The TVXHDV shared memory belongs to a running server");
    case platform::SharedMemory::Claim::kFailed:
      return FailCreate(claim.error);
  }

  if (platform::PathExists(rendezvousFilePath_) && !platform::RemoveFile(rendezvousFilePath_)) {
    memory_.Close();
    return Fail("bCreateNew==TRUE but can not delete existing TVXHDVMemory.INI");
  }
  temporaryFilePath_ = InFolder(folder_, kTemporaryFileName);

  int error = memory_.Create(kSharedMemorySize);
  if (error != 0) return FailCreate(error);
  void* view = nullptr;
  if ((error = memory_.MapView(kSharedMemorySize, view)) != 0) {
    SharedMemoryClose();
    return Fail(Format("Could not map view of file (%d)", error));
  }
  std::memset(view, 0, kSharedMemorySize);

  if (!platform::ProfileWriteString(temporaryFilePath_, kSection, kNameKey, mappingName_.c_str())) {
    error = platform::LastSystemErrorCode();
    SharedMemoryClose();
    return Fail(Format("WritePrivateProfileString/SharedMemoryName (%d,%s)", error,
                       temporaryFilePath_.c_str()));
  }
  const std::string processId = Format("%08X", static_cast<unsigned>(platform::ProcessId()));
  if (!platform::ProfileWriteString(temporaryFilePath_, kSection, kCreatorKey, processId.c_str())) {
    error = platform::LastSystemErrorCode();
    SharedMemoryClose();
    return Fail(Format("WritePrivateProfileString/CreatorProcessID (%d,%s)", error,
                       temporaryFilePath_.c_str()));
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
  return 1;
}

int SharedMemoryChannel::Open(std::uint32_t& structVersion) {
  if (!platform::PathExists(rendezvousFilePath_)) {
    return Fail("TVXHDVMemory.INI does not exist but bCreateNew==FALSE");
  }
  mappingName_ = platform::ProfileReadString(rendezvousFilePath_, kSection, kNameKey, "", 260);
  if (mappingName_.empty()) {
    return Fail(Format("GetPrivateProfileString/SharedMemoryName (%d,%s)",
                       platform::LastSystemErrorCode(), rendezvousFilePath_.c_str()));
  }
  int error = memory_.Open(mappingName_);
  if (error != 0) return Fail(Format("Could not open file mapping object (%d)\r\n", error));
  void* view = nullptr;
  if ((error = memory_.MapView(kSharedMemorySize, view)) != 0) {
    memory_.Close();
    return Fail(Format("Could not map view of file (%d)\r\n", error));
  }
  area_ = static_cast<SharedMemoryArea*>(view);
  if (area_->totalSize != kSharedMemorySize) {
    memory_.Close();  // the view stays until SharedMemoryClose
    return Fail("Structure size mismatch!\r\n");
  }
  structVersion = area_->structVersion;
  return 1;
}

int SharedMemoryChannel::SharedMemoryInitComplete() {
  if (!platform::RenameWithoutReplace(temporaryFilePath_, rendezvousFilePath_)) {
    Fail("SharedMemoryInitComplete: MoveFile error");
    SharedMemoryClose();
    return 0;
  }
  return 1;
}

int SharedMemoryChannel::SharedMemoryClose() {
  memory_.UnmapView();
  area_ = nullptr;
  ForgetNotices();
  const bool open = memory_.IsOpen();
  const int error = memory_.Close();  // also lets go of a claim without an object
  if (!open) return -1;
  return error == 0 ? 1 : 0;
}

int SharedMemoryChannel::Fail(std::string text) {
  lastErrorText_ = std::move(text);
  return 0;
}

SharedMemoryArea* SharedMemoryChannel::LiveArea() const {
  return area_ != nullptr && !memory_.ViewLost() ? area_ : nullptr;
}

template <typename Fifo>
auto SharedMemoryChannel::StateOf(Fifo& fifo, int fifoNumber) const {
  const FifoState<Fifo> state(fifo);
  NoteUsability(fifoNumber, state.Usable(), state.write, state.read);
  return state;
}

// An unusable FIFO stops forwarding or taking commands without a word; the
// note tells the operator why, once per time it breaks.
void SharedMemoryChannel::NoteUsability(int fifoNumber, bool usable, std::uint32_t write,
                                        std::uint32_t read) const {
  const auto bit = static_cast<std::size_t>(fifoNumber + 1);
  if (usable || unusableFifos_.test(bit)) {
    unusableFifos_.set(bit, !usable);
    return;
  }
  unusableFifos_.set(bit);
  if (pendingNoticeCount_ == kPendingNoticeCount) return;  // nobody takes them
  pendingNotices_[static_cast<std::size_t>(pendingNoticeCount_++)] =
      ChannelNotice{ChannelNotice::Kind::kFifoUnusable, fifoNumber, write, read};
}

ChannelNotice SharedMemoryChannel::TakeNotice() {
  if (!cutShortNoted_ && area_ != nullptr && memory_.ViewLost()) {
    cutShortNoted_ = true;
    return ChannelNotice{ChannelNotice::Kind::kAreaCutShort};
  }
  if (pendingNoticeCount_ == 0) return {};
  const ChannelNotice oldest = pendingNotices_[0];
  for (int i = 1; i < pendingNoticeCount_; ++i) {
    pendingNotices_[static_cast<std::size_t>(i - 1)] = pendingNotices_[static_cast<std::size_t>(i)];
  }
  --pendingNoticeCount_;
  return oldest;
}

void SharedMemoryChannel::ForgetNotices() {
  pendingNoticeCount_ = 0;
  unusableFifos_.reset();
  cutShortNoted_ = false;
}

int SharedMemoryChannel::PutPointerReport(const PointerReportRecord& record) {
  SharedMemoryArea* area = LiveArea();
  if (area == nullptr) return 0;
  return PutRecord(area->pointerFifo, StateOf(area->pointerFifo, ChannelNotice::kPointerFifo),
                   record);
}

int SharedMemoryChannel::GetPointerReport(PointerReportRecord& record) {
  SharedMemoryArea* area = LiveArea();
  if (area == nullptr) return 0;
  return GetRecord(area->pointerFifo, StateOf(area->pointerFifo, ChannelNotice::kPointerFifo),
                   record);
}

int SharedMemoryChannel::IsPointerFifoEmpty() const {
  SharedMemoryArea* area = LiveArea();
  return area == nullptr || StateOf(area->pointerFifo, ChannelNotice::kPointerFifo).Empty() ? 1 : 0;
}

int SharedMemoryChannel::IsPointerFifoFull() const {
  SharedMemoryArea* area = LiveArea();
  return area == nullptr || StateOf(area->pointerFifo, ChannelNotice::kPointerFifo).Full() ? 1 : 0;
}

int SharedMemoryChannel::PointerFifoCount() const {
  SharedMemoryArea* area = LiveArea();
  return area != nullptr ? StateOf(area->pointerFifo, ChannelNotice::kPointerFifo).Count() : 0;
}

int SharedMemoryChannel::PointerFifoFree() const {
  SharedMemoryArea* area = LiveArea();
  return area != nullptr ? StateOf(area->pointerFifo, ChannelNotice::kPointerFifo).Free() : 0;
}

void SharedMemoryChannel::ResetPointerFifoWrite() {
  if (SharedMemoryArea* area = LiveArea()) ResetWriteIndex(area->pointerFifo);
}

void SharedMemoryChannel::ResetPointerFifoRead() {
  if (SharedMemoryArea* area = LiveArea()) ResetReadIndex(area->pointerFifo);
}

CommandFifo* SharedMemoryChannel::CommandFifoOf(int pointer) const {
  SharedMemoryArea* area = LiveArea();
  if (area == nullptr || pointer < 0 || pointer >= kCommandFifoCount) return nullptr;
  return &area->commandFifos[pointer];
}

int SharedMemoryChannel::PutCommand(int pointer, const CommandRecord& record) {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? PutRecord(*fifo, StateOf(*fifo, pointer), record) : 0;
}

int SharedMemoryChannel::GetCommand(int pointer, CommandRecord& record) {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? GetRecord(*fifo, StateOf(*fifo, pointer), record) : 0;
}

int SharedMemoryChannel::IsCommandFifoEmpty(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo == nullptr || StateOf(*fifo, pointer).Empty() ? 1 : 0;
}

int SharedMemoryChannel::IsCommandFifoFull(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo == nullptr || StateOf(*fifo, pointer).Full() ? 1 : 0;
}

int SharedMemoryChannel::CommandFifoCount(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? StateOf(*fifo, pointer).Count() : 0;
}

int SharedMemoryChannel::CommandFifoFree(int pointer) const {
  CommandFifo* fifo = CommandFifoOf(pointer);
  return fifo != nullptr ? StateOf(*fifo, pointer).Free() : 0;
}

void SharedMemoryChannel::ResetCommandFifoWrite(int pointer) {
  if (CommandFifo* fifo = CommandFifoOf(pointer)) ResetWriteIndex(*fifo);
}

void SharedMemoryChannel::ResetCommandFifoRead(int pointer) {
  if (CommandFifo* fifo = CommandFifoOf(pointer)) ResetReadIndex(*fifo);
}

int SharedMemoryChannel::TerminateCreator() {
  const std::string rendezvousFile = InFolder(folder_, kRendezvousFileName);
  const std::string idText =
      platform::ProfileReadString(rendezvousFile, kSection, kCreatorKey, "", 360);
  if (idText.empty()) {
    return Fail("Could not read [Memory], CreatorProcessID in file TVXHDVMemory.INI");
  }
  std::uint32_t id = 0;
  const std::size_t digits = idText.size() < 8 ? idText.size() : 8;
  if (std::from_chars(idText.data(), idText.data() + digits, id, 16).ec != std::errc()) return 0;

  // The file outlives the server and its process id may have been given to
  // another program since: the process is ended only when the system shows
  // that it is the one holding the area the file names.
  const std::string name = platform::ProfileReadString(rendezvousFile, kSection, kNameKey, "", 260);
  if (name.empty()) return 0;
  return platform::SharedMemory::TerminateCreator(name, id) == 0 ? 1 : 0;
}

int SharedMemoryChannel::FillTextMatches() const {
  if (LiveArea() == nullptr) return 0;
  return std::memcmp(area_->fillText, FillText, kFillTextLength + 1) == 0 ? 1 : 0;
}
