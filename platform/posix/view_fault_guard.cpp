#include "platform/posix/view_fault_guard.h"

#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace platform {
namespace {

// The handler reads these without a lock, so each is one atomic value; a
// guard is published by its begin address and withdrawn by clearing it.
struct Guard {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::size_t> size{0};
  std::atomic<bool> lost{false};
};

constexpr int kGuardCount = 64;
Guard guards[kGuardCount];
struct sigaction previousAction {};
std::once_flag handlerInstalled;

// Not one of ours: the handler that was there before, or the default action.
void PassOn(int signal, siginfo_t* info, void* context) {
  if ((previousAction.sa_flags & SA_SIGINFO) != 0 && previousAction.sa_sigaction != nullptr) {
    previousAction.sa_sigaction(signal, info, context);
    return;
  }
  if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
    previousAction.sa_handler(signal);
    return;
  }
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(SIGBUS, &defaultAction, nullptr);
  // A fault strikes again when the access is retried; a sent signal is sent again.
  if (info->si_code <= 0) raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Guard& guard : guards) {
    const std::uintptr_t begin = guard.begin.load(std::memory_order_acquire);
    const std::size_t size = guard.size.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address - begin >= size) continue;
    void* zeroPages = mmap(reinterpret_cast<void*>(begin), size, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeroPages == MAP_FAILED) break;
    guard.lost.store(true, std::memory_order_release);
    return;  // the access is made again, now on a zero page
  }
  PassOn(signal, info, context);
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &previousAction);
}

}  // namespace

int GuardView(void* begin, std::size_t size) {
  std::call_once(handlerInstalled, InstallHandler);
  for (int i = 0; i < kGuardCount; ++i) {
    Guard& guard = guards[i];
    bool expected = false;
    if (!guard.taken.compare_exchange_strong(expected, true)) continue;
    guard.lost.store(false);
    guard.size.store(size, std::memory_order_release);
    guard.begin.store(reinterpret_cast<std::uintptr_t>(begin), std::memory_order_release);
    return i;
  }
  return -1;
}

void UnguardView(int guard) {
  if (guard < 0 || guard >= kGuardCount) return;
  guards[guard].begin.store(0, std::memory_order_release);
  guards[guard].size.store(0, std::memory_order_release);
  guards[guard].taken.store(false, std::memory_order_release);
}

bool IsViewLost(int guard) {
  return guard >= 0 && guard < kGuardCount && guards[guard].lost.load(std::memory_order_acquire);
}

}  // namespace platform
