#include "platform/socket_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/system_error.h"

namespace platform {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

bool IsTimedOut(int error) {
  return error == ETIMEDOUT;
}

Result ClientSocket::Connect(std::uint16_t port) {
  return ConnectFrom(1, port);
}

Result ClientSocket::ConnectFrom(std::uint8_t host, std::uint16_t port) {
  Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastFailure();
  if (receiveBufferSize_ > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize_, sizeof receiveBufferSize_);
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (host != 1) {
    sockaddr_in source = LoopbackAddress(0);
    source.sin_addr.s_addr = htonl((INADDR_LOOPBACK & 0xFFFFFF00u) | host);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
      const Result failure = LastFailure();
      close(fd);
      return failure;
    }
  }
  const sockaddr_in address = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const Result failure = LastFailure();
    close(fd);
    return failure;
  }
  handle_ = fd;
  return Result();
}

Result ClientSocket::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(Fd(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return LastFailure();
    if (sent == 0) return Failure(EPIPE);
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return Result();
}

Result ClientSocket::ShutdownSending() {
  if (shutdown(Fd(handle_), SHUT_WR) != 0) return LastFailure();
  return Result();
}

Result ClientSocket::ReceiveSome(char* buffer, int capacity, int timeoutMs, int& received) {
  received = 0;
  pollfd fd{Fd(handle_), POLLIN, 0};
  int ready;
  do {
    ready = poll(&fd, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return LastFailure();
  if (ready == 0) return Failure(ETIMEDOUT);
  const ssize_t count = recv(Fd(handle_), buffer, static_cast<std::size_t>(capacity), 0);
  if (count < 0) return errno == ECONNRESET ? Result() : LastFailure();
  received = static_cast<int>(count);
  return Result();
}

void ClientSocket::Close() {
  if (handle_ != -1) close(Fd(handle_));
  handle_ = -1;
}

Result FindFreePort(std::uint16_t& port) {
  port = 0;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastFailure();
  sockaddr_in address = LoopbackAddress(0);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  Result result;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  } else {
    result = LastFailure();
  }
  close(fd);
  return result;
}

}  // namespace platform
