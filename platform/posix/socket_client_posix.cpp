#include "platform/socket_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

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

bool ClientSocket::Connect(std::uint16_t port) {
  Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (receiveBufferSize_ > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize_, sizeof receiveBufferSize_);
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const sockaddr_in address = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool ClientSocket::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(Fd(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool ClientSocket::ShutdownSending() {
  return shutdown(Fd(handle_), SHUT_WR) == 0;
}

int ClientSocket::ReceiveSome(char* buffer, int capacity, int timeoutMs) {
  pollfd fd{Fd(handle_), POLLIN, 0};
  int ready;
  do {
    ready = poll(&fd, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return kFailed;
  if (ready == 0) return kTimedOut;
  const ssize_t count = recv(Fd(handle_), buffer, static_cast<std::size_t>(capacity), 0);
  if (count < 0) return errno == ECONNRESET ? 0 : kFailed;
  return static_cast<int>(count);
}

void ClientSocket::Close() {
  if (handle_ != -1) close(Fd(handle_));
  handle_ = -1;
}

std::uint16_t FindFreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address = LoopbackAddress(0);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace platform
