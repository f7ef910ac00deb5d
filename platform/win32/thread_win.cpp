#include "platform/thread.h"

#include <process.h>
#include <windows.h>

#include "platform/win32/system_error.h"

namespace platform {

struct ThreadState {
  HANDLE handle = nullptr;
  unsigned id = 0;
  ~ThreadState() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

// Only the reserve is set: the stack's pages are committed as it grows.
Result Thread::Start(Function function, void* argument, std::size_t stackBytes) {
  Close();
  auto state = std::make_shared<ThreadState>();
  errno = 0;
  const std::uintptr_t handle =
      _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), function, argument,
                     stackBytes != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, &state->id);
  if (handle == 0) return LastRuntimeFailure();
  state->handle = reinterpret_cast<HANDLE>(handle);
  state_ = std::move(state);
  return Result();
}

std::uint32_t Thread::Id() const {
  return state_ ? state_->id : 0;
}

bool Thread::WaitForEnd(int timeoutMs) {
  if (!state_) return true;
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return WaitForSingleObject(state_->handle, wait) == WAIT_OBJECT_0;
}

void Thread::Close() {
  state_.reset();
}

bool WaitForBothThreads(Thread& first, Thread& second, int timeoutMs) {
  if (!first.IsStarted() || !second.IsStarted()) {
    return first.WaitForEnd(timeoutMs) && second.WaitForEnd(timeoutMs);
  }
  const HANDLE handles[2] = {first.state_->handle, second.state_->handle};
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  const DWORD result = WaitForMultipleObjects(2, handles, TRUE, wait);
  return result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1;
}

// From the top of the stack down to the start of its reserve.
std::size_t CurrentThreadStackBytes() {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
// mingw's inline read of the thread's block trips the compiler's bounds check.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
  const auto* top = static_cast<const char*>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
#pragma GCC diagnostic pop
  return static_cast<std::size_t>(top - static_cast<const char*>(region.AllocationBase));
}

std::uint32_t CurrentThreadId() {
  return GetCurrentThreadId();
}

void SleepMs(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}

struct LockState {
  CRITICAL_SECTION section;
};

// Spinning a little first pays off for the short sections these locks guard.
constexpr DWORD kSpinCount = 4000;

Lock::Lock() : state_(std::make_unique<LockState>()) {
  InitializeCriticalSectionAndSpinCount(&state_->section, kSpinCount);
}

Lock::~Lock() {
  DeleteCriticalSection(&state_->section);
}
void Lock::Enter() {
  EnterCriticalSection(&state_->section);
}
void Lock::Leave() {
  LeaveCriticalSection(&state_->section);
}

struct SignalState {
  HANDLE event = nullptr;
};

AutoResetEvent::AutoResetEvent() {
  const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event != nullptr) state_ = std::make_unique<SignalState>(SignalState{event});
}

AutoResetEvent::~AutoResetEvent() {
  if (state_) CloseHandle(state_->event);
}

void AutoResetEvent::Set() {
  SetEvent(state_->event);
}
void AutoResetEvent::Reset() {
  ResetEvent(state_->event);
}

bool AutoResetEvent::Wait(int timeoutMs) {
  return WaitForSingleObject(state_->event, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

}  // namespace platform
