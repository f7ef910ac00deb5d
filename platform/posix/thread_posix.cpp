#include "platform/thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/posix/system_error.h"

namespace platform {

// Shared by the Thread object and the running thread, so that either may go
// first. Linux threads have no exit code and no timed join: the thread
// reports its end here, and the join follows once it has.
struct ThreadState {
  Thread::Function function = nullptr;
  void* argument = nullptr;
  std::uint32_t id = 0;
  pthread_t handle{};
  std::mutex mutex;
  std::condition_variable endedSignal;
  bool ended = false;
  bool released = false;  // joined or detached
};

namespace {

std::atomic<std::uint32_t> lastThreadId{0};
thread_local std::uint32_t currentThreadId = 0;

std::uint32_t NextThreadId() {
  return ++lastThreadId;
}

void* RunThread(void* raw) {
  // The thread keeps its state alive until it has reported its end.
  std::shared_ptr<ThreadState> state(*static_cast<std::shared_ptr<ThreadState>*>(raw));
  delete static_cast<std::shared_ptr<ThreadState>*>(raw);
  currentThreadId = state->id;
  state->function(state->argument);
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    state->ended = true;
  }
  state->endedSignal.notify_all();
  return nullptr;
}

bool WaitUntilEnded(ThreadState& state, std::chrono::steady_clock::time_point deadline,
                    bool forever) {
  std::unique_lock<std::mutex> lock(state.mutex);
  if (forever) {
    state.endedSignal.wait(lock, [&] { return state.ended; });
    return true;
  }
  return state.endedSignal.wait_until(lock, deadline, [&] { return state.ended; });
}

// The sanitizers' builds keep guard zones around every frame and run their
// own code on the thread's stack: a stack sized for the plain build is too
// small there.
std::size_t SanitizedStackBytes(std::size_t stackBytes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return stackBytes * 4;
#else
  return stackBytes;
#endif
}

std::chrono::steady_clock::time_point DeadlineIn(int timeoutMs) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

// Joins an ended thread (quick: it has only to return), lets a running one go.
void Release(ThreadState& state) {
  bool ended;
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    if (state.released) return;
    state.released = true;
    ended = state.ended;
  }
  if (ended) {
    pthread_join(state.handle, nullptr);
  } else {
    pthread_detach(state.handle);
  }
}

}  // namespace

Result Thread::Start(Function function, void* argument, std::size_t stackBytes) {
  Close();
  pthread_attr_t attributes;
  if (const int error = pthread_attr_init(&attributes); error != 0) return Failure(error);
  if (stackBytes != 0) {
    if (const int error = pthread_attr_setstacksize(&attributes, SanitizedStackBytes(stackBytes));
        error != 0) {
      pthread_attr_destroy(&attributes);
      return Failure(error);
    }
  }
  auto state = std::make_shared<ThreadState>();
  state->function = function;
  state->argument = argument;
  state->id = NextThreadId();
  auto* handedOver = new std::shared_ptr<ThreadState>(state);
  const int error = pthread_create(&state->handle, &attributes, RunThread, handedOver);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    delete handedOver;
    return Failure(error);
  }
  state_ = std::move(state);
  return Result();
}

std::uint32_t Thread::Id() const {
  return state_ ? state_->id : 0;
}

bool Thread::WaitForEnd(int timeoutMs) {
  if (!state_) return true;
  return WaitUntilEnded(*state_, DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs), timeoutMs < 0);
}

void Thread::Close() {
  if (!state_) return;
  Release(*state_);
  state_.reset();
}

bool WaitForBothThreads(Thread& first, Thread& second, int timeoutMs) {
  if (timeoutMs < 0) return first.WaitForEnd(timeoutMs) && second.WaitForEnd(timeoutMs);
  const auto deadline = DeadlineIn(timeoutMs);
  for (Thread* thread : {&first, &second}) {
    const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now())
                                          .count());
    if (!thread->WaitForEnd(left < 0 ? 0 : left)) return false;
  }
  return true;
}

std::size_t CurrentThreadStackBytes() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
  std::size_t size = 0;
  pthread_attr_getstacksize(&attributes, &size);
  pthread_attr_destroy(&attributes);
  return size;
}

std::uint32_t CurrentThreadId() {
  if (currentThreadId == 0) currentThreadId = NextThreadId();
  return currentThreadId;
}

void SleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

struct LockState {
  std::mutex mutex;
};

Lock::Lock() : state_(std::make_unique<LockState>()) {}
Lock::~Lock() = default;
void Lock::Enter() {
  state_->mutex.lock();
}
void Lock::Leave() {
  state_->mutex.unlock();
}

struct SignalState {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
};

AutoResetEvent::AutoResetEvent() : state_(std::make_unique<SignalState>()) {}
AutoResetEvent::~AutoResetEvent() = default;

void AutoResetEvent::Set() {
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->set = true;
  }
  state_->changed.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->set = false;
}

bool AutoResetEvent::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  const bool set = state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                            [&] { return state_->set; });
  if (set) state_->set = false;
  return set;
}

}  // namespace platform
