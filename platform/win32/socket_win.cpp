#include "platform/socket.h"

#include <winsock2.h>

#include <cstring>

#include "platform/win32/system_error.h"

namespace platform {
namespace {

SOCKET Native(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}
WSAEVENT NativeEvent(std::intptr_t handle) {
  return reinterpret_cast<WSAEVENT>(handle);
}

Result ToWaitResult(DWORD result, WaitResult& woken) {
  if (result == WSA_WAIT_EVENT_0) {
    woken = WaitResult::kFirst;
  } else if (result == WSA_WAIT_EVENT_0 + 1) {
    woken = WaitResult::kSecond;
  } else if (result == WSA_WAIT_TIMEOUT) {
    woken = WaitResult::kTimeout;
  } else {
    return LastSocketFailure();
  }
  return Result();
}

DWORD ToWaitTime(int timeoutMs) {
  return timeoutMs < 0 ? WSA_INFINITE : static_cast<DWORD>(timeoutMs);
}

}  // namespace

struct SocketAccess {
  static WSAEVENT Event(const NetEvent& event) { return NativeEvent(event.handle_); }
};

Result StartSocketLibrary(std::uint16_t& grantedVersion) {
  WSADATA data{};
  const int result = WSAStartup(0x0202, &data);
  grantedVersion = result == 0 ? data.wVersion : 0;
  return result == 0 ? Result() : Failure(static_cast<unsigned long>(result));
}

void StopSocketLibrary() {
  WSACleanup();
}

bool IsWouldBlock(int error) {
  return error == WSAEWOULDBLOCK;
}

// Wine reports a connection reset before the accept as not connected.
bool IsPeerGoneBeforeAccept(int error) {
  return error == WSAECONNRESET || error == WSAENOTCONN;
}

// A port that another socket holds exclusively (as our own listening socket
// does) is refused with WSAEACCES rather than WSAEADDRINUSE.
bool IsAddressInUse(int error) {
  return error == WSAEADDRINUSE || error == WSAEACCES;
}

void Socket::CloseSystemSocket(std::intptr_t handle) {
  closesocket(Native(handle));
}

Result Socket::Receive(char* buffer, int capacity, int& received) {
  WSABUF slice{static_cast<ULONG>(capacity), buffer};
  DWORD count = 0;
  DWORD flags = 0;
  received = 0;
  if (WSARecv(Native(handle_), &slice, 1, &count, &flags, nullptr, nullptr) != 0) {
    return LastSocketFailure();
  }
  received = static_cast<int>(count);
  return Result();
}

Result Socket::Send(const char* bytes, int length, int& sent) {
  WSABUF slice{static_cast<ULONG>(length), const_cast<char*>(bytes)};
  DWORD count = 0;
  sent = 0;
  if (WSASend(Native(handle_), &slice, 1, &count, 0, nullptr, nullptr) != 0) {
    return LastSocketFailure();
  }
  sent = static_cast<int>(count);
  return Result();
}

// Sockets are inheritable by default: a program this one starts would keep
// the port or a phone's connection open after we closed them.
Result CreateListeningSocket(Socket& created) {
  created.Close();
  const SOCKET handle = WSASocketA(AF_INET, SOCK_STREAM, 0, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (handle == INVALID_SOCKET) return LastSocketFailure();
  // No other program may bind the same port on one of our addresses and
  // take the phones' reports from under us.
  const BOOL exclusive = TRUE;
  setsockopt(handle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  created = Socket(static_cast<std::intptr_t>(handle));
  return Result();
}

Result BindAnyAddress(Socket& socket, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(Native(socket.handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
      0) {
    return LastSocketFailure();
  }
  return Result();
}

Result Listen(Socket& socket) {
  if (listen(Native(socket.handle_), SOMAXCONN) != 0) return LastSocketFailure();
  return Result();
}

Result AcceptConnection(Socket& listening, Socket& accepted, PeerAddress& peer) {
  accepted.Close();
  sockaddr_in address{};
  int length = sizeof address;
  const SOCKET handle = WSAAccept(Native(listening.handle_), reinterpret_cast<sockaddr*>(&address),
                                  &length, nullptr, 0);
  if (handle == INVALID_SOCKET) return LastSocketFailure();
  SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
  std::memcpy(peer.bytes, &address.sin_addr.s_addr, 4);
  peer.portNetworkOrder = address.sin_port;
  accepted = Socket(static_cast<std::intptr_t>(handle));
  return Result();
}

Result NetEvent::Create() {
  Close();
  const WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) return LastSocketFailure();
  handle_ = reinterpret_cast<std::intptr_t>(event);
  return Result();
}

bool NetEvent::IsValid() const {
  return handle_ != kInvalid;
}

void NetEvent::CloseSystemEvent(std::intptr_t handle) {
  WSACloseEvent(NativeEvent(handle));
}

Result NetEvent::Signal() {
  if (!WSASetEvent(NativeEvent(handle_))) return LastSocketFailure();
  return Result();
}

Result NetEvent::Select(Socket& socket, unsigned mask) {
  if (WSAEventSelect(Native(socket.handle_), NativeEvent(handle_), static_cast<long>(mask)) != 0) {
    return LastSocketFailure();
  }
  selected_ = &socket;
  mask_ = mask;
  return Result();
}

Result NetEvent::Enumerate(Socket& socket, unsigned& events) {
  WSANETWORKEVENTS network{};
  events = 0;
  if (WSAEnumNetworkEvents(Native(socket.handle_), NativeEvent(handle_), &network) != 0) {
    return LastSocketFailure();
  }
  events = static_cast<unsigned>(network.lNetworkEvents);
  return Result();
}

Result WaitForEither(NetEvent& first, NetEvent& second, int timeoutMs, WaitResult& woken) {
  const WSAEVENT events[2] = {SocketAccess::Event(first), SocketAccess::Event(second)};
  return ToWaitResult(WSAWaitForMultipleEvents(2, events, FALSE, ToWaitTime(timeoutMs), FALSE),
                      woken);
}

Result WaitForSignal(NetEvent& event, int timeoutMs, WaitResult& woken) {
  const WSAEVENT events[1] = {SocketAccess::Event(event)};
  return ToWaitResult(WSAWaitForMultipleEvents(1, events, FALSE, ToWaitTime(timeoutMs), FALSE),
                      woken);
}

}  // namespace platform
