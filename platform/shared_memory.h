// Named shared memory: one object of a fixed size, shared by every process
// that opens it by name, and a read-write view of it.
//
// The creating process claims the name first. The claim lasts as long as the
// object here holds it, or until the process ends in whatever way, so a second
// creator can tell a name that a running process owns from one left over by a
// process that has ended (on Linux the name outlives a crashed process).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/result.h"

namespace platform {

// Calls that can fail give a Result: success or the system's error code
// (errno, GetLastError), as the backend read it where the call failed.
class SharedMemory {
 public:
  // The error a claim or create gives when another user's program holds the
  // name (Windows; on Linux such objects are never adopted anyway). Negative,
  // so that it never meets a system's code.
  static constexpr int kTakenByOtherProgram = -1;

  enum class Claim { kClaimed, kHeldByRunningCreator, kFailed };
  struct ClaimResult {
    Claim claim = Claim::kFailed;
    int error = 0;  // 0 when claimed, else the code of what stood in the way
  };

  SharedMemory() = default;
  ~SharedMemory();  // unmaps the view, closes the object and releases the claim
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creator side, first step: claims the name for this process.
  ClaimResult ClaimName(const std::string& name);
  // True while a running process holds the claim on the name. Takes no claim
  // and no lock, so that a probe never makes a starting creator fail.
  static bool IsClaimedByRunningCreator(const std::string& name);
  // True when the process with that id runs and holds the creator's claim on
  // the name, as the system confirms it: an id read from a file may since
  // have passed to an unrelated program.
  static bool IsClaimedBy(const std::string& name, std::uint32_t processId);
  // Creator side, second step: creates the claimed object with `size` bytes,
  // or takes over one of that name that no running process claims (left over,
  // or still open in a consumer). On failure the claim is released too.
  Result Create(std::size_t size);
  // Consumer side: opens the existing object of that name.
  Result Open(const std::string& name);

  // Maps the first `size` bytes of the open object for reading and writing
  // and hands out their address. Fails when the object is smaller.
  Result MapView(std::size_t size, void*& view);
  // Unmaps the view when one is mapped.
  void UnmapView();
  // True once an access into the view found the object cut short by another
  // process (Linux: truncated). Private zero pages then stand in for the
  // whole view, so that the access went on instead of ending the program;
  // nothing written there reaches another process any more. A page-file
  // backed object on Windows cannot shrink.
  bool ViewLost() const;

  // False once the name no longer leads to the open object: another process
  // removed it (Linux: as logind does when the user logs out), and perhaps
  // made a new object under it. True when no object is open, and always on
  // Windows, where nobody can take a mapping's name from it.
  bool StillNamed() const;

  bool IsOpen() const { return handle_ != kNoHandle; }
  // Closes the object (the view stays mapped) and releases the claim; the
  // creator's close also removes the name on Linux while it still leads to
  // this object. Closing when no object is open succeeds.
  Result Close();

 private:
  static constexpr std::intptr_t kNoHandle = -1;

  void ReleaseClaim();

  std::string name_;
  std::intptr_t handle_ = kNoHandle;       // the object, once created or opened
  std::intptr_t claim_ = kNoHandle;        // what holds the creator's claim
  std::intptr_t creatorMark_ = kNoHandle;  // Windows: names this process as the creator
  void* view_ = nullptr;
  std::size_t viewSize_ = 0;
  int viewGuard_ = -1;  // Linux: what watches the view for a cut-short object
};

// The creator's half of a consumer's sleep until the next report: a small
// object beside the area, "<area name> wake", whose first 32-bit value counts
// the consumers asleep on the report FIFO's write index, and the wake-up the
// creator gives them after a put while it counts any (Linux: a futex wake on
// the write index; Windows: the auto-reset event "<area name> wake event").
// A consumer that finds no such object looks every millisecond instead.
class ReaderWake {
 public:
  ReaderWake() = default;
  ~ReaderWake();
  ReaderWake(const ReaderWake&) = delete;
  ReaderWake& operator=(const ReaderWake&) = delete;

  // Makes the object for the area of that name; replaces one this instance held.
  Result Create(const std::string& areaName);
  // Lets go of it, and on Linux removes its name while it still leads to it.
  void Close();

  // After a report was put and its write index published: one locked add of
  // nothing while nobody sleeps. A sleeper counts itself with an add too
  // before it looks at the write index; the two adds are ordered, so either
  // it sees the new index or this sees its count. (A plain fence and load
  // would do as well, but ThreadSanitizer takes no fences.)
  void AfterPut(std::uint32_t& writeIndex) {
    if (sleepers_ == nullptr) return;
    if (std::atomic_ref<std::uint32_t>(*sleepers_).fetch_add(0, std::memory_order_acq_rel) != 0) {
      Wake(writeIndex);
    }
  }

 private:
  void Wake(std::uint32_t& writeIndex);

  std::string name_;
  std::uint32_t* sleepers_ = nullptr;  // in the object's view
  std::intptr_t object_ = -1;
  // Windows: the wake event. Linux: the guard on the view, since anyone
  // may cut the object short.
  std::intptr_t helper_ = -1;
};

// A small object beside the area, "<area name><suffix>", that the area's
// creator makes and fills and consumers open by the same rule as the wake
// object: a consumer that finds none has a server without it. The creator
// replaces what an earlier server left under the name, and starts it zeroed.
class SideObject {
 public:
  SideObject() = default;
  ~SideObject();
  SideObject(const SideObject&) = delete;
  SideObject& operator=(const SideObject&) = delete;

  // Makes the object of size bytes and maps it; replaces one this instance held.
  Result Create(const std::string& areaName, const std::string& suffix, std::size_t size);
  // Lets go of it, and on Linux removes its name while it still leads to it.
  void Close();
  // The zeroed view, null while none is made. Another process that cuts the
  // object short (Linux) leaves zero pages here, never a fault.
  void* View() const { return view_; }

 private:
  std::string name_;
  void* view_ = nullptr;
  std::size_t size_ = 0;
  std::intptr_t object_ = -1;
  std::intptr_t guard_ = -1;  // Linux: the guard on the view
};

}  // namespace platform
