#include "platform/socket_client.h"

#include <winsock2.h>

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

bool ClientSocket::Connect(std::uint16_t port) {
  EnsureSocketLibrary();
  Close();
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) return false;
  if (receiveBufferSize_ > 0) {
    setsockopt(handle, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferSize_),
               sizeof receiveBufferSize_);
  }
  const BOOL on = TRUE;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  const sockaddr_in address = LoopbackAddress(port);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    closesocket(handle);
    return false;
  }
  handle_ = static_cast<std::intptr_t>(handle);
  return true;
}

bool ClientSocket::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const int sent = send(Native(handle_), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool ClientSocket::ShutdownSending() {
  return shutdown(Native(handle_), SD_SEND) == 0;
}

int ClientSocket::ReceiveSome(char* buffer, int capacity, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Native(handle_), &readable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return kFailed;
  if (ready == 0) return kTimedOut;
  const int count = recv(Native(handle_), buffer, capacity, 0);
  if (count == SOCKET_ERROR) return WSAGetLastError() == WSAECONNRESET ? 0 : kFailed;
  return count;
}

void ClientSocket::Close() {
  if (handle_ != -1) closesocket(Native(handle_));
  handle_ = -1;
}

std::uint16_t FindFreePort() {
  EnsureSocketLibrary();
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) return 0;
  sockaddr_in address = LoopbackAddress(0);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  int length = sizeof address;
  std::uint16_t port = 0;
  if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(handle);
  return port;
}

}  // namespace platform
