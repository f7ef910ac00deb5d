// Named file mapping backed by the page file. The creator's claim is a named
// mutex that only creators open: the system removes it with the last handle,
// so it exists exactly while a creator runs. A second one, named after the
// creator's process id, lets others confirm which process that is.
#include "platform/shared_memory.h"

#include <windows.h>
// The security headers after windows.h, which they build on.
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/win32/system_error.h"

namespace platform {
namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t FromHandle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// The one place that reads the system's error code: each call takes it right
// where the failing system call returned.
int SystemError() {
  return LastFailure().Code();
}

// For the calls that create a named object: one that this user may not open
// was made by another user's program.
int NamedObjectError() {
  const int error = SystemError();
  return error == ERROR_ACCESS_DENIED ? SharedMemory::kTakenByOtherProgram : error;
}

std::string ClaimObjectName(const std::string& name) {
  return name + " creator";
}

// One part of this process's token (TokenUser, TokenOwner); empty on failure.
std::vector<char> TokenPart(TOKEN_INFORMATION_CLASS part) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, part, nullptr, 0, &size);
  std::vector<char> bytes(size);
  if (size == 0 || !GetTokenInformation(token, part, bytes.data(), size, &size)) bytes.clear();
  CloseHandle(token);
  return bytes;
}

// Only the user running this program may open the objects: another user's
// program can neither read the reports nor feed the phones commands.
class CurrentUserOnly {
 public:
  CurrentUserOnly() {
    const std::vector<char> user = TokenPart(TokenUser);
    if (user.empty()) return;
    char* sid = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &sid)) {
      return;
    }
    const std::string text = std::string("D:P(A;;GA;;;") + sid + ")";
    LocalFree(sid);
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                             &descriptor_, nullptr)) {
      attributes_.lpSecurityDescriptor = descriptor_;
    }
  }
  ~CurrentUserOnly() { LocalFree(descriptor_); }
  CurrentUserOnly(const CurrentUserOnly&) = delete;
  CurrentUserOnly& operator=(const CurrentUserOnly&) = delete;

  // The system's default when no descriptor could be made.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// Whether an object that existed before us was made by this user's programs:
// its owner is this user, or the owner this user's objects get (the
// administrators group for an elevated program).
bool IsOwnedByThisUser(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const std::vector<char> user = TokenPart(TokenUser);
  const std::vector<char> defaultOwner = TokenPart(TokenOwner);
  const bool ours =
      (!user.empty() &&
       EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid)) ||
      (!defaultOwner.empty() &&
       EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(defaultOwner.data())->Owner));
  LocalFree(descriptor);
  return ours;
}

std::string CreatorMarkName(const std::string& name, DWORD processId) {
  return ClaimObjectName(name) + " " + std::to_string(processId);
}

// A probe holds the claim's mutex for a moment only; a running creator for good.
// On a loaded machine a prober can be held up between its open and its close,
// so the moment is allowed up to a second before the name counts as taken.
constexpr int kClaimAttempts = 50;
constexpr DWORD kClaimRetryMs = 20;

}  // namespace

SharedMemory::ClaimResult SharedMemory::ClaimName(const std::string& name) {
  static_cast<void>(Close());  // one object per instance
  name_ = name;
  CurrentUserOnly access;
  for (int attempt = 1;; ++attempt) {
    HANDLE claim = CreateMutexA(access.Attributes(), FALSE, ClaimObjectName(name).c_str());
    if (claim == nullptr) return {Claim::kFailed, NamedObjectError()};
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      claim_ = FromHandle(claim);
      break;
    }
    const bool othersObject = !IsOwnedByThisUser(claim);
    CloseHandle(claim);
    if (othersObject) return {Claim::kFailed, kTakenByOtherProgram};
    if (attempt == kClaimAttempts) return {Claim::kHeldByRunningCreator, ERROR_ALREADY_EXISTS};
    Sleep(kClaimRetryMs);
  }
  HANDLE mark = CreateMutexA(access.Attributes(), FALSE,
                             CreatorMarkName(name, GetCurrentProcessId()).c_str());
  if (mark == nullptr) {
    const int error = SystemError();
    ReleaseClaim();
    return {Claim::kFailed, error};
  }
  creatorMark_ = FromHandle(mark);
  return {Claim::kClaimed, 0};
}

bool SharedMemory::IsClaimedByRunningCreator(const std::string& name) {
  HANDLE claim = OpenMutexA(SYNCHRONIZE, FALSE, ClaimObjectName(name).c_str());
  if (claim == nullptr) return false;
  CloseHandle(claim);
  return true;
}

// The creator marks its claim with a mutex named after its process id.
bool SharedMemory::IsClaimedBy(const std::string& name, std::uint32_t processId) {
  if (processId == 0) return false;
  HANDLE mark = OpenMutexA(SYNCHRONIZE, FALSE, CreatorMarkName(name, processId).c_str());
  if (mark == nullptr) return false;
  CloseHandle(mark);
  return true;
}

Result SharedMemory::Create(std::size_t size) {
  if (claim_ == kNoHandle) return Failure(ERROR_INVALID_HANDLE);
  const auto size64 = static_cast<unsigned long long>(size);
  CurrentUserOnly access;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, access.Attributes(), PAGE_READWRITE,
                                      static_cast<DWORD>(size64 >> 32),
                                      static_cast<DWORD>(size64 & 0xFFFFFFFFu), name_.c_str());
  if (mapping == nullptr) {
    const int error = NamedObjectError();
    ReleaseClaim();
    return Result(error);
  }
  // A mapping left by our own server (a consumer still holds it) is taken
  // over; one that another user's program made first is never adopted.
  if (GetLastError() == ERROR_ALREADY_EXISTS && !IsOwnedByThisUser(mapping)) {
    CloseHandle(mapping);
    ReleaseClaim();
    return Result(kTakenByOtherProgram);
  }
  handle_ = FromHandle(mapping);
  return Result();
}

Result SharedMemory::Open(const std::string& name) {
  static_cast<void>(Close());
  name_ = name;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (mapping == nullptr) return Result(SystemError());
  handle_ = FromHandle(mapping);
  return Result();
}

Result SharedMemory::MapView(std::size_t size, void*& view) {
  UnmapView();
  view = nullptr;
  if (handle_ == kNoHandle) return Failure(ERROR_INVALID_HANDLE);
  void* mapped = MapViewOfFile(AsHandle(handle_), FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (mapped == nullptr) return Result(SystemError());
  view_ = mapped;
  viewSize_ = size;
  view = view_;
  return Result();
}

void SharedMemory::UnmapView() {
  if (view_ == nullptr) return;
  UnmapViewOfFile(view_);
  view_ = nullptr;
  viewSize_ = 0;
}

bool SharedMemory::ViewLost() const {
  return false;  // the object keeps its size while any view of it exists
}

bool SharedMemory::StillNamed() const {
  return true;  // a mapping keeps its name while any handle to it is open
}

Result SharedMemory::Close() {
  if (handle_ == kNoHandle) {
    ReleaseClaim();
    return Result();
  }
  const int closed = CloseHandle(AsHandle(handle_)) ? 0 : SystemError();
  handle_ = kNoHandle;
  ReleaseClaim();
  return Result(closed);
}

void SharedMemory::ReleaseClaim() {
  if (creatorMark_ != kNoHandle) {
    CloseHandle(AsHandle(creatorMark_));
    creatorMark_ = kNoHandle;
  }
  if (claim_ == kNoHandle) return;
  CloseHandle(AsHandle(claim_));
  claim_ = kNoHandle;
}

ReaderWake::~ReaderWake() {
  Close();
}

Result ReaderWake::Create(const std::string& areaName) {
  Close();
  name_ = areaName + " wake";
  CurrentUserOnly access;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, access.Attributes(), PAGE_READWRITE,
                                      0, 4096, name_.c_str());
  if (mapping == nullptr) return Result(SystemError());
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 4096);
  HANDLE event = view != nullptr ? CreateEventA(access.Attributes(), FALSE, FALSE,
                                                (name_ + " event").c_str())
                                 : nullptr;
  if (event == nullptr) {
    const int error = SystemError();
    if (view != nullptr) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return Result(error);
  }
  object_ = FromHandle(mapping);
  helper_ = FromHandle(event);
  sleepers_ = static_cast<std::uint32_t*>(view);
  // A consumer that ended while asleep, counted by an earlier server, counts no more.
  std::atomic_ref<std::uint32_t>(*sleepers_).store(0, std::memory_order_relaxed);
  return Result();
}

void ReaderWake::Close() {
  if (sleepers_ != nullptr) UnmapViewOfFile(sleepers_);
  sleepers_ = nullptr;
  if (helper_ != -1) CloseHandle(AsHandle(helper_));
  if (object_ != -1) CloseHandle(AsHandle(object_));
  helper_ = object_ = -1;
}

void ReaderWake::Wake(std::uint32_t&) {
  SetEvent(AsHandle(helper_));
}

}  // namespace platform

namespace platform {

SideObject::~SideObject() {
  Close();
}

Result SideObject::Create(const std::string& areaName, const std::string& suffix,
                          std::size_t size) {
  Close();
  name_ = areaName + suffix;
  CurrentUserOnly access;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, access.Attributes(), PAGE_READWRITE, 0,
                                      static_cast<DWORD>(size), name_.c_str());
  if (mapping == nullptr) return Result(SystemError());
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    const int error = SystemError();
    CloseHandle(mapping);
    return Result(error);
  }
  // A mapping a consumer still holds open from an earlier server is handed
  // back as it was.
  ZeroMemory(view, size);
  object_ = FromHandle(mapping);
  view_ = view;
  size_ = size;
  return Result();
}

void SideObject::Close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  if (object_ != -1) CloseHandle(AsHandle(object_));
  object_ = -1;
}

}  // namespace platform
