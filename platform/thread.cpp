// What a Thread object does the same on every system: it owns the backend's
// state of its thread, gives it up on Close, and moves.
#include "platform/thread.h"

#include <utility>

namespace platform {

Thread::Thread() = default;

Thread::~Thread() {
  Close();
}

Thread::Thread(Thread&& other) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::move(other.state_);
  }
  return *this;
}

}  // namespace platform
