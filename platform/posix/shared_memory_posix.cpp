// POSIX shared memory under "/" + name. The creator's claim is an exclusive
// flock on the object itself: the kernel drops it when the process ends, so a
// name left behind by a crashed creator can be claimed again.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/view_fault_guard.h"

namespace platform {
namespace {

std::string ObjectName(const std::string& name) {
  return "/" + name;
}

void CloseKeepingErrno(int fd) {
  const int saved = errno;
  close(fd);
  errno = saved;
}

// True when fd is still the object that the name leads to: a creator that
// ends removes the name before it lets go of the lock, so a lock taken on an
// object whose name is already gone proves nothing.
bool StillNamed(int fd, const std::string& objectName) {
  const int current = shm_open(objectName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (current < 0) return false;
  struct stat locked {};
  struct stat named {};
  const bool same = fstat(fd, &locked) == 0 && fstat(current, &named) == 0 &&
                    locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
  close(current);
  return same;
}

}  // namespace

SharedMemory::~SharedMemory() {
  UnmapView();
  Close();
}

SharedMemory::Claim SharedMemory::ClaimName(const std::string& name) {
  Close();  // one object per instance
  name_ = name;
  const std::string objectName = ObjectName(name);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      errorCode_ = errno;
      return Claim::kFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      errorCode_ = errno;
      CloseKeepingErrno(fd);
      return errorCode_ == EWOULDBLOCK ? Claim::kHeldByRunningCreator : Claim::kFailed;
    }
    if (StillNamed(fd, objectName)) {
      claim_ = fd;
      return Claim::kClaimed;
    }
    close(fd);  // the previous creator was just leaving; try the new name
  }
  errorCode_ = EAGAIN;
  return Claim::kFailed;
}

bool SharedMemory::IsClaimedByRunningCreator(const std::string& name) {
  const int fd = shm_open(ObjectName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  // A shared lock is refused exactly while a creator holds its exclusive one.
  const bool claimed = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);  // drops the shared lock, if it was granted
  return claimed;
}

bool SharedMemory::Create(std::size_t size) {
  if (claim_ == kNoHandle) {
    errorCode_ = EINVAL;
    return false;
  }
  if (ftruncate(static_cast<int>(claim_), static_cast<off_t>(size)) != 0) {
    errorCode_ = errno;
    ReleaseClaim();
    return false;
  }
  handle_ = claim_;
  return true;
}

bool SharedMemory::Open(const std::string& name) {
  Close();
  name_ = name;
  const int fd = shm_open(ObjectName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    errorCode_ = errno;
    return false;
  }
  handle_ = fd;
  return true;
}

void* SharedMemory::MapView(std::size_t size) {
  UnmapView();
  struct stat info {};
  if (handle_ == kNoHandle || fstat(static_cast<int>(handle_), &info) != 0) {
    errorCode_ = handle_ == kNoHandle ? EBADF : errno;
    return nullptr;
  }
  // Touching a page beyond the object's end would raise SIGBUS.
  if (static_cast<std::size_t>(info.st_size) < size) {
    errorCode_ = EINVAL;
    return nullptr;
  }
  void* view =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(handle_), 0);
  if (view == MAP_FAILED) {
    errorCode_ = errno;
    return nullptr;
  }
  view_ = view;
  viewSize_ = size;
  // The consumer can truncate the object under this view at any time.
  viewGuard_ = GuardView(view_, viewSize_);
  return view_;
}

void SharedMemory::UnmapView() {
  if (view_ == nullptr) return;
  UnguardView(viewGuard_);
  viewGuard_ = -1;
  munmap(view_, viewSize_);
  view_ = nullptr;
  viewSize_ = 0;
}

bool SharedMemory::ViewLost() const {
  return IsViewLost(viewGuard_);
}

int SharedMemory::Close() {
  if (handle_ == kNoHandle) {
    ReleaseClaim();
    return -1;
  }
  const bool claimed = claim_ == handle_;
  const int fd = static_cast<int>(handle_);
  handle_ = kNoHandle;
  if (claimed) {
    // Remove the name while the lock still holds, then let go of both.
    shm_unlink(ObjectName(name_).c_str());
    claim_ = kNoHandle;
  }
  if (close(fd) != 0) {
    errorCode_ = errno;
    return 0;
  }
  return 1;
}

void SharedMemory::ReleaseClaim() {
  if (claim_ == kNoHandle) return;
  shm_unlink(ObjectName(name_).c_str());
  CloseKeepingErrno(static_cast<int>(claim_));
  claim_ = kNoHandle;
}

}  // namespace platform
