// Event-driven TCP sockets as the server engine uses them: a listening socket
// on every IPv4 address, accepted connections, sends and receives that never
// block the thread, and events that report what a socket is ready for.
#pragma once

#include <cstdint>

#include "platform/result.h"

namespace platform {

// Network event bits, reported together by NetEvent::Enumerate.
enum : unsigned {
  kNetRead = 0x01,
  kNetWrite = 0x02,
  kNetAccept = 0x08,
  kNetClose = 0x20,
};

// Starts the socket library asking for version 2.2; a failure carries the
// library's error result. grantedVersion holds the major version in its low
// byte and the minor version in its high byte.
Result StartSocketLibrary(std::uint16_t& grantedVersion);
void StopSocketLibrary();

// Whether a failed send or receive only says that the socket cannot go on now.
bool IsWouldBlock(int error);
// Whether a failed accept only says that the peer reset or went away before
// its connection was taken: nothing failed on this side.
bool IsPeerGoneBeforeAccept(int error);
// Whether a failed bind says that another socket holds the port.
bool IsAddressInUse(int error);

class NetEvent;

constexpr int kWaitForever = -1;

// Which of the events a wait saw signalled first, or that its time ran out.
enum class WaitResult { kFirst, kSecond, kTimeout };

struct PeerAddress {
  std::uint8_t bytes[4] = {};  // in network order
  std::uint16_t portNetworkOrder = 0;
};

// One socket, closed with its owner.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool IsValid() const { return handle_ != kInvalid; }
  void Close();

  // Neither waits for the peer. A send that cannot take everything sends what
  // fits; once nothing fits it fails with a would-block code and the socket's
  // event reports kNetWrite when it can take more.
  Result Receive(char* buffer, int capacity, int& received);
  Result Send(const char* bytes, int length, int& sent);

 private:
  friend Result CreateListeningSocket(Socket& created);
  friend Result BindAnyAddress(Socket& socket, std::uint16_t port);
  friend Result Listen(Socket& socket);
  friend Result AcceptConnection(Socket& listening, Socket& accepted, PeerAddress& peer);
  friend class NetEvent;
  friend struct SocketAccess;  // the backend's own helpers

  static constexpr std::intptr_t kInvalid = -1;
  explicit Socket(std::intptr_t handle) : handle_(handle) {}
  // The backend's part of Close: gives the system's socket back.
  static void CloseSystemSocket(std::intptr_t handle);

  std::intptr_t handle_ = kInvalid;
  // Whatever the backend keeps about the socket beside its handle. It moves
  // with the handle and is cleared on Close, in one place for every backend,
  // so that no socket inherits what was known of an earlier one.
  unsigned backendState_ = 0;
};

// A stream socket for IPv4 without any option set, into created.
Result CreateListeningSocket(Socket& created);
// Binds to every local IPv4 address at port (host order).
Result BindAnyAddress(Socket& socket, std::uint16_t port);
// Listens with the largest backlog the system allows.
Result Listen(Socket& socket);
// Accepts one waiting connection into accepted.
Result AcceptConnection(Socket& listening, Socket& accepted, PeerAddress& peer);

// An event that is either signalled by hand (and then stays signalled) or
// selected onto a socket, where it reports that socket's network events.
class NetEvent {
 public:
  NetEvent() = default;
  ~NetEvent() { Close(); }
  NetEvent(const NetEvent&) = delete;
  NetEvent& operator=(const NetEvent&) = delete;

  Result Create();
  bool IsValid() const;
  void Close();

  Result Signal();
  // Reports the events of mask (kNet* bits) that occur on socket.
  Result Select(Socket& socket, unsigned mask);
  // The events that occurred since the last call.
  Result Enumerate(Socket& socket, unsigned& events);

 private:
  friend struct SocketAccess;

  static constexpr std::intptr_t kInvalid = -1;
  // The backend's part of Close: gives the system's event back.
  static void CloseSystemEvent(std::intptr_t handle);

  std::intptr_t handle_ = kInvalid;
  Socket* selected_ = nullptr;
  unsigned mask_ = 0;
  // Whatever the backend keeps about the event beside its handle; cleared
  // on Close in one place for every backend.
  unsigned backendState_ = 0;
};

// Waits until either event is signalled (the first wins when both are).
Result WaitForEither(NetEvent& first, NetEvent& second, int timeoutMs, WaitResult& woken);
// kFirst when signalled in time.
Result WaitForSignal(NetEvent& event, int timeoutMs, WaitResult& woken);

}  // namespace platform
