// What sockets and network events do the same on every system: moving the
// handle and forgetting it on close. The backend closes the system's object.
#include "platform/socket.h"

#include <utility>

namespace platform {

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)),
      backendState_(std::exchange(other.backendState_, 0)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kInvalid);
    backendState_ = std::exchange(other.backendState_, 0);
  }
  return *this;
}

void Socket::Close() {
  if (handle_ != kInvalid) CloseSystemSocket(handle_);
  handle_ = kInvalid;
  backendState_ = 0;
}

void NetEvent::Close() {
  if (handle_ != kInvalid) CloseSystemEvent(handle_);
  handle_ = kInvalid;
  selected_ = nullptr;
  mask_ = 0;
  backendState_ = 0;
}

}  // namespace platform
