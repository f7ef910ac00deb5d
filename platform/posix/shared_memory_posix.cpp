// POSIX shared memory under "/" + name. The creator's claim is a write lock
// of its open file description on the whole object (an OFD lock): the kernel
// drops it when the process ends, so a name left behind by a crashed creator
// can be claimed again. Others can test for it without taking a lock, and the
// process's own descriptor table shows who holds it.
#include "platform/shared_memory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "platform/posix/system_error.h"
#include "platform/posix/view_fault_guard.h"

namespace platform {
namespace {

std::string ObjectName(const std::string& name) {
  return "/" + name;
}

// The one place that reads the system's error code: each call takes it right
// where the failing system call returned.
int SystemError() {
  return LastFailure().Code();
}

// True when fd is still the object that the name leads to: a creator that
// ends removes the name before it lets go of the lock, so a lock taken on an
// object whose name is already gone proves nothing; and a name removed by
// another process may have passed to another server's object since.
bool NameLeadsTo(int fd, const std::string& objectName) {
  const int current = shm_open(objectName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (current < 0) return false;
  struct stat locked {};
  struct stat named {};
  const bool same = fstat(fd, &locked) == 0 && fstat(current, &named) == 0 &&
                    locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
  close(current);
  return same;
}

// The whole object, however it grows.
struct flock WholeObject(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

// True when some process holds an exclusive flock on the object (as listed
// in /proc/locks); shared ones do not count.
bool HasExclusiveFlock(const struct stat& object) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    char kind[16] = {};
    char mode[16] = {};
    unsigned deviceMajor = 0, deviceMinor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line.c_str(), "%*d: %15s %*s %15s %*d %x:%x:%lu", kind, mode, &deviceMajor,
                    &deviceMinor, &inode) == 5 &&
        std::string_view(kind) == "FLOCK" && std::string_view(mode) == "WRITE" &&
        inode == object.st_ino && deviceMajor == major(object.st_dev) &&
        deviceMinor == minor(object.st_dev)) {
      return true;
    }
  }
  return false;
}

// Servers built before the claim became an OFD lock took an exclusive flock
// instead, and their probes a shared one for a moment. This creator takes the
// flock too, so that such a server cannot run beside it; when it cannot, only
// an exclusive holder is a running creator, a shared one a passing probe.
bool TakeEarlierCreatorsLock(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  struct stat object {};
  return errno == EWOULDBLOCK && fstat(fd, &object) == 0 && !HasExclusiveFlock(object);
}

// True when one of the process's descriptors is the object and its open file
// description holds a write lock on it: the creator's claim, seen from the
// kernel's side (the fdinfo of a descriptor lists the locks it owns).
bool HoldsCreatorClaim(std::uint32_t processId, const struct stat& object) {
  const std::string process = "/proc/" + std::to_string(processId);
  DIR* descriptors = opendir((process + "/fd").c_str());
  if (descriptors == nullptr) return false;
  bool holds = false;
  while (!holds) {
    const dirent* entry = readdir(descriptors);
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.') continue;
    struct stat target {};
    if (stat((process + "/fd/" + entry->d_name).c_str(), &target) != 0 ||
        target.st_dev != object.st_dev || target.st_ino != object.st_ino) {
      continue;
    }
    std::ifstream info(process + "/fdinfo/" + entry->d_name);
    for (std::string line; !holds && std::getline(info, line);) {
      holds = line.starts_with("lock:") && line.find("OFDLCK") != std::string::npos &&
              line.find("WRITE") != std::string::npos;
    }
  }
  closedir(descriptors);
  return holds;
}

}  // namespace

SharedMemory::ClaimResult SharedMemory::ClaimName(const std::string& name) {
  static_cast<void>(Close());  // one object per instance
  name_ = name;
  const std::string objectName = ObjectName(name);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return {Claim::kFailed, SystemError()};
    struct flock claim = WholeObject(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &claim) != 0) {
      const int error = SystemError();
      close(fd);
      return {error == EAGAIN || error == EACCES ? Claim::kHeldByRunningCreator : Claim::kFailed,
              error};
    }
    if (!NameLeadsTo(fd, objectName)) {
      close(fd);  // the previous creator was just leaving; try the new name
      continue;
    }
    if (!TakeEarlierCreatorsLock(fd)) {
      close(fd);
      return {Claim::kHeldByRunningCreator, EWOULDBLOCK};
    }
    claim_ = fd;
    return {Claim::kClaimed, 0};
  }
  return {Claim::kFailed, EAGAIN};
}

bool SharedMemory::IsClaimedByRunningCreator(const std::string& name) {
  const int fd = shm_open(ObjectName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  // Asks which lock would stand in the way of a read lock; takes none.
  struct flock probe = WholeObject(F_RDLCK);
  const bool claimed = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(fd);
  return claimed;
}

bool SharedMemory::IsClaimedBy(const std::string& name, std::uint32_t processId) {
  if (processId == 0) return false;
  const int fd = shm_open(ObjectName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat object {};
  const bool named = fstat(fd, &object) == 0;
  close(fd);
  return named && HoldsCreatorClaim(processId, object);
}

Result SharedMemory::Create(std::size_t size) {
  if (claim_ == kNoHandle) return Failure(EINVAL);
  if (ftruncate(static_cast<int>(claim_), static_cast<off_t>(size)) != 0) {
    const int error = SystemError();
    ReleaseClaim();
    return Result(error);
  }
  handle_ = claim_;
  return Result();
}

Result SharedMemory::Open(const std::string& name) {
  static_cast<void>(Close());
  name_ = name;
  const int fd = shm_open(ObjectName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return Result(SystemError());
  handle_ = fd;
  return Result();
}

Result SharedMemory::MapView(std::size_t size, void*& view) {
  UnmapView();
  view = nullptr;
  if (handle_ == kNoHandle) return Failure(EBADF);
  struct stat info {};
  if (fstat(static_cast<int>(handle_), &info) != 0) return Result(SystemError());
  // Touching a page beyond the object's end would raise SIGBUS.
  if (static_cast<std::size_t>(info.st_size) < size) return Failure(EINVAL);
  void* mapped =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(handle_), 0);
  if (mapped == MAP_FAILED) return Result(SystemError());
  view_ = mapped;
  viewSize_ = size;
  // The consumer can truncate the object under this view at any time.
  viewGuard_ = GuardView(view_, viewSize_);
  view = view_;
  return Result();
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

bool SharedMemory::StillNamed() const {
  return handle_ == kNoHandle || NameLeadsTo(static_cast<int>(handle_), ObjectName(name_));
}

Result SharedMemory::Close() {
  if (handle_ == kNoHandle) {
    ReleaseClaim();
    return Result();
  }
  const bool claimed = claim_ == handle_;
  const int fd = static_cast<int>(handle_);
  handle_ = kNoHandle;
  if (claimed) {
    // Remove the name while the lock still holds, then let go of both; a
    // name that leads elsewhere by now belongs to another server.
    const std::string objectName = ObjectName(name_);
    if (NameLeadsTo(fd, objectName)) shm_unlink(objectName.c_str());
    claim_ = kNoHandle;
  }
  return close(fd) == 0 ? Result() : LastFailure();
}

void SharedMemory::ReleaseClaim() {
  if (claim_ == kNoHandle) return;
  const std::string objectName = ObjectName(name_);
  if (NameLeadsTo(static_cast<int>(claim_), objectName)) shm_unlink(objectName.c_str());
  close(static_cast<int>(claim_));
  claim_ = kNoHandle;
}

ReaderWake::~ReaderWake() {
  Close();
}

Result ReaderWake::Create(const std::string& areaName) {
  Close();
  name_ = ObjectName(areaName + " wake");
  const int fd = shm_open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result(SystemError());
  constexpr std::size_t kSize = 4096;
  void* view = MAP_FAILED;
  if (ftruncate(fd, kSize) != 0 ||
      (view = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
    const int error = SystemError();
    close(fd);
    return Result(error);
  }
  object_ = fd;
  helper_ = GuardView(view, kSize);
  sleepers_ = static_cast<std::uint32_t*>(view);
  // A consumer that ended while asleep, counted by an earlier server, counts no more.
  std::atomic_ref<std::uint32_t>(*sleepers_).store(0, std::memory_order_relaxed);
  return Result();
}

void ReaderWake::Close() {
  if (sleepers_ != nullptr) {
    UnguardView(static_cast<int>(helper_));
    helper_ = -1;
    munmap(sleepers_, 4096);
    sleepers_ = nullptr;
  }
  if (object_ == -1) return;
  const int fd = static_cast<int>(object_);
  if (NameLeadsTo(fd, name_)) shm_unlink(name_.c_str());
  close(fd);
  object_ = -1;
}

void ReaderWake::Wake(std::uint32_t& writeIndex) {
  syscall(SYS_futex, &writeIndex, FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

}  // namespace platform

namespace platform {

SideObject::~SideObject() {
  Close();
}

Result SideObject::Create(const std::string& areaName, const std::string& suffix,
                          std::size_t size) {
  Close();
  name_ = ObjectName(areaName + suffix);
  const int fd = shm_open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result(SystemError());
  // Cut to nothing first: what an earlier server left goes, the rest is zeros.
  void* view = MAP_FAILED;
  if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      (view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
    const int error = SystemError();
    close(fd);
    return Result(error);
  }
  object_ = fd;
  view_ = view;
  size_ = size;
  guard_ = GuardView(view, size);
  return Result();
}

void SideObject::Close() {
  if (view_ != nullptr) {
    UnguardView(static_cast<int>(guard_));
    guard_ = -1;
    munmap(view_, size_);
    view_ = nullptr;
  }
  if (object_ == -1) return;
  const int fd = static_cast<int>(object_);
  if (NameLeadsTo(fd, name_)) shm_unlink(name_.c_str());
  close(fd);
  object_ = -1;
}

}  // namespace platform
