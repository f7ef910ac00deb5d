// Named shared memory: one object of a fixed size, shared by every process
// that opens it by name, and a read-write view of it.
//
// The creating process claims the name first. The claim lasts as long as the
// object here holds it, or until the process ends in whatever way, so a second
// creator can tell a name that a running process owns from one left over by a
// process that has ended (on Linux the name outlives a crashed process).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SharedMemory {
 public:
  enum class Claim { kClaimed, kHeldByRunningCreator, kFailed };

  SharedMemory() = default;
  ~SharedMemory();  // unmaps the view, closes the object and releases the claim
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creator side, first step: claims the name for this process.
  Claim ClaimName(const std::string& name);
  // True while a running process holds the claim on the name. Takes no claim
  // and no lock, so that a probe never makes a starting creator fail.
  static bool IsClaimedByRunningCreator(const std::string& name);
  // Ends the process with that id (TerminateProcess with exit code 0 on
  // Windows, SIGTERM on Linux), but only when the system confirms that this
  // very process holds the creator's claim on the name: an id read from a
  // file may since have passed to an unrelated program. False otherwise.
  static bool TerminateCreator(const std::string& name, std::uint32_t processId);
  // Creator side, second step: creates the claimed object with `size` bytes,
  // or takes over one of that name that no running process claims (left over,
  // or still open in a consumer). On failure the claim is released too.
  bool Create(std::size_t size);
  // Consumer side: opens the existing object of that name.
  bool Open(const std::string& name);

  // Maps the first `size` bytes of the open object for reading and writing.
  // Fails when the object is smaller. nullptr on failure.
  void* MapView(std::size_t size);
  // Unmaps the view when one is mapped.
  void UnmapView();
  // True once an access into the view found the object cut short by another
  // process (Linux: truncated). Private zero pages then stand in for the
  // whole view, so that the access went on instead of ending the program;
  // nothing written there reaches another process any more. A page-file
  // backed object on Windows cannot shrink.
  bool ViewLost() const;

  bool IsOpen() const { return handle_ != kNoHandle; }
  // Closes the object (the view stays mapped) and releases the claim; the
  // creator's close also removes the name on Linux. -1 when no object was
  // open, else 1 for a successful close and 0 for a failed one.
  int Close();

  // The system error code of the last failed call.
  int ErrorCode() const { return errorCode_; }
  // True when the last claim or create failed because another user's program
  // holds the name (Windows; on Linux such objects are never adopted anyway).
  bool TakenByOtherProgram() const { return takenByOtherProgram_; }

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
  int errorCode_ = 0;
  bool takenByOtherProgram_ = false;
};

}  // namespace platform
