#include "platform/socket_client.h"

#include <winsock2.h>

#include "platform/win32/system_error.h"

namespace platform {
namespace {

SOCKET Native(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

// The library stays started for the rest of the process once a client needs it.
void EnsureSocketLibrary() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(0x0202, &data) == 0;
  }();
  (void)started;
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
  return error == WSAETIMEDOUT;
}

Result ClientSocket::Connect(std::uint16_t port) {
  return ConnectFrom(1, port);
}

Result ClientSocket::ConnectFrom(std::uint8_t host, std::uint16_t port) {
  EnsureSocketLibrary();
  Close();
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) return LastSocketFailure();
  if (receiveBufferSize_ > 0) {
    setsockopt(handle, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferSize_),
               sizeof receiveBufferSize_);
  }
  const BOOL on = TRUE;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  if (host != 1) {
    sockaddr_in source = LoopbackAddress(0);
    source.sin_addr.s_addr = htonl((INADDR_LOOPBACK & 0xFFFFFF00u) | host);
    if (bind(handle, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
      const Result failure = LastSocketFailure();
      closesocket(handle);
      return failure;
    }
  }
  const sockaddr_in address = LoopbackAddress(port);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const Result failure = LastSocketFailure();
    closesocket(handle);
    return failure;
  }
  handle_ = static_cast<std::intptr_t>(handle);
  return Result();
}

Result ClientSocket::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const int sent = send(Native(handle_), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent == SOCKET_ERROR) return LastSocketFailure();
    if (sent == 0) return Failure(WSAECONNABORTED);
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return Result();
}

Result ClientSocket::ShutdownSending() {
  if (shutdown(Native(handle_), SD_SEND) != 0) return LastSocketFailure();
  return Result();
}

Result ClientSocket::ReceiveSome(char* buffer, int capacity, int timeoutMs, int& received) {
  received = 0;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Native(handle_), &readable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return LastSocketFailure();
  if (ready == 0) return Failure(WSAETIMEDOUT);
  const int count = recv(Native(handle_), buffer, capacity, 0);
  if (count == SOCKET_ERROR) {
    const Result failure = LastSocketFailure();
    return failure.Code() == WSAECONNRESET ? Result() : failure;
  }
  received = count;
  return Result();
}

void ClientSocket::Close() {
  if (handle_ != -1) closesocket(Native(handle_));
  handle_ = -1;
}

Result FindFreePort(std::uint16_t& port) {
  EnsureSocketLibrary();
  port = 0;
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) return LastSocketFailure();
  sockaddr_in address = LoopbackAddress(0);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  int length = sizeof address;
  Result result;
  if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  } else {
    result = LastSocketFailure();
  }
  closesocket(handle);
  return result;
}

}  // namespace platform
