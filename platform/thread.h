// Threads with a timed wait for their end, and the locks and events that the
// server's threads share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/result.h"

namespace platform {

// The exit code of the server's threads.
constexpr unsigned kThreadExitCode = 4660;

struct ThreadState;

// One started thread. Closing it (or destroying it) gives up the handle; a
// thread that still runs goes on without it.
class Thread {
 public:
  using Function = unsigned (*)(void* argument);

  Thread();
  ~Thread();
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts function(argument) at once; a failure carries the error number
  // (errno). stackBytes reserves a stack of that size instead of the
  // system's default (0), which on Windows takes a megabyte of memory per thread.
  Result Start(Function function, void* argument, std::size_t stackBytes = 0);
  bool IsStarted() const { return state_ != nullptr; }
  std::uint32_t Id() const;

  // True when the thread ended within timeoutMs; a negative time waits
  // without limit. There is deliberately no way to end a thread by force.
  bool WaitForEnd(int timeoutMs);
  void Close();

 private:
  friend bool WaitForBothThreads(Thread& first, Thread& second, int timeoutMs);
  std::shared_ptr<ThreadState> state_;
};

// True when both threads ended within timeoutMs (negative: without limit).
bool WaitForBothThreads(Thread& first, Thread& second, int timeoutMs);

std::uint32_t CurrentThreadId();
// The size of the calling thread's stack: what it may grow to, not what it uses.
std::size_t CurrentThreadStackBytes();
void SleepMs(int milliseconds);

struct LockState;

// A lock for short sections; the same thread must not take it twice.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();

 private:
  std::unique_ptr<LockState> state_;
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

struct SignalState;

// An event that lets one waiter through per Set, then resets itself.
class AutoResetEvent {
 public:
  AutoResetEvent();
  ~AutoResetEvent();
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  bool IsValid() const { return state_ != nullptr; }
  void Set();
  void Reset();
  // True when the event was set within timeoutMs.
  bool Wait(int timeoutMs);

 private:
  std::unique_ptr<SignalState> state_;
};

}  // namespace platform
