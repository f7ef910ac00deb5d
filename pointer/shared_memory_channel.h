// The server's end of the shared memory channel to a consuming application.
// The server creates the area and publishes its name in the rendezvous file
// "TVXHDVMemory.INI"; consumers open it from that file through their kit,
// sdk/c/tvxhdv.h. The server puts reports and gets commands; the counts below
// look at either FIFO as it stands.
//
// Operations return 1 for success and 0 for failure unless said otherwise; a
// failure of SharedMemoryInit or SharedMemoryInitComplete leaves its message
// in GetLastErrorText().
//
// The FIFO operations are not locked: each FIFO has one writing and one
// reading process, and within a process the caller serialises all calls.
//
// The channel composes the area's memory object, the rendezvous file with the
// creator's claim (rendezvous_file.h), the ring rules of every FIFO
// (fifo_ring.h) and the notices for its owner's log (channel_notices.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shared_memory.h"
#include "pointer/channel_notices.h"
#include "pointer/fifo_ring.h"
#include "pointer/names_area.h"
#include "pointer/rendezvous_file.h"
#include "pointer/shared_memory_layout.h"

class SharedMemoryChannel {
 public:
  // The creator makes the area under creationName; tests give each area a
  // name of its own.
  explicit SharedMemoryChannel(std::string_view creationName = NoticeText);
  virtual ~SharedMemoryChannel();  // SharedMemoryClose
  SharedMemoryChannel(const SharedMemoryChannel&) = delete;
  SharedMemoryChannel& operator=(const SharedMemoryChannel&) = delete;

  // Creates the area (bCreateNew 1; consumers open it through their kit, so
  // anything else fails); the folder holds the rendezvous file. Hands back
  // the area's StructVersion and whether it was created.
  int SharedMemoryInit(int bCreateNew, const std::string& folder, std::uint32_t& structVersion,
                       int& created);
  // Publishes the rendezvous file once the creator has finished the header.
  int SharedMemoryInitComplete();
  // Unmaps and closes: the close result, or -1 when no mapping was open.
  int SharedMemoryClose();

  SharedMemoryArea* GetHeader() const { return area_; }
  const std::string& GetMappingName() const { return mappingName_; }
  // The name the area is made under, before and after it is made.
  const std::string& CreationName() const { return creationName_; }
  const std::string& GetLastErrorText() const { return lastErrorText_; }
  const std::string& GetRendezvousFilePath() const { return rendezvous_.Path(); }
  // False once another process removed the open area's name: consumers can
  // no longer find it, and a new server may take the name (Linux only).
  bool AreaStillNamed() const { return memory_.StillNamed(); }
  // True once another process cut the open area short under its view
  // (Linux only): nothing written reaches a consumer any more.
  bool AreaCutShort() const { return area_ != nullptr && memory_.ViewLost(); }

  // Report FIFO: the server writes, the consumer reads. A report that finds
  // the area cut short (and those after it, up to kHeldReports) is held and
  // goes into the next area this channel makes.
  int PutPointerReport(const PointerReportRecord& record);
  int IsPointerFifoEmpty() const;
  int IsPointerFifoFull() const;
  int PointerFifoCount() const;
  int PointerFifoFree() const;

  // Command FIFOs, pointer numbers 0 to 599: the consumer writes, the server
  // reads. Another pointer number holds nothing and takes nothing.
  int GetCommand(int pointer, CommandRecord& record);
  int IsCommandFifoEmpty(int pointer) const;
  int IsCommandFifoFull(int pointer) const;
  int CommandFifoCount(int pointer) const;
  int CommandFifoFree(int pointer) const;

  // The oldest notice not yet taken (kind kNone when there is none). A FIFO is
  // noted when it is first found unusable, and again only after it was found
  // usable in between; the cut-short area once per area; the creator's reset
  // of its own bad index each time. Each FIFO's notices of one kind at most
  // once a minute; now is a millisecond tick count.
  ChannelNotice TakeNotice(std::uint32_t now);

  // 1 when the area holds FillText byte for byte, terminator included.
  int FillTextMatches() const;

  // The pointer's name in the names area beside this one (empty: none), for
  // the consumers that ask; wakes a consumer asleep until the next report,
  // so that it hears of the change at once. The caller serialises the calls.
  void PublishName(int pointer, std::string_view utf8);

 private:
  int Create(std::uint32_t& structVersion, int& created);
  int Fail(std::string text);
  int FailCreate(int error);
  // The area while its FIFOs can be used: none once another process cut it short.
  SharedMemoryArea* LiveArea() const;
  CommandFifo* CommandFifoOf(int pointer) const;
  // The FIFO's ring as it stands now, noting a change of usability; the
  // server first repairs its own index of it.
  template <typename Fifo>
  FifoRing<Fifo> RingOf(Fifo& fifo, int fifoNumber) const;
  // True when the server found its own index outside the slots in seen and
  // reset it.
  template <typename Fifo>
  bool RepairOwnIndex(Fifo& fifo, const FifoRing<Fifo>& seen, int fifoNumber) const;

  void HoldReport(const PointerReportRecord& record);
  void PutHeldReports();

  static constexpr std::size_t kHeldReports = 64;

  const std::string creationName_;
  std::string mappingName_;
  std::string lastErrorText_;
  RendezvousFile rendezvous_;
  platform::SharedMemory memory_;
  platform::ReaderWake wake_;  // wakes a consumer asleep until the next report
  NamesArea names_;
  SharedMemoryArea* area_ = nullptr;
  // The FIFO operations note as they go, also the const ones; the caller
  // serialises all of them anyway.
  mutable ChannelNotices notices_;
  std::array<PointerReportRecord, kHeldReports> heldReports_{};
  std::size_t heldCount_ = 0;
};
