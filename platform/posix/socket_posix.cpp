#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/posix/system_error.h"

namespace platform {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// In Socket::backendState_: set by a send that would block, as only then is
// writability of interest. NetEvent::backendState_ holds what the last wait
// saw on the selected socket (poll's revents), so that Enumerate need not ask
// the system again.
constexpr unsigned kWaitingToWrite = 0x01;

// What poll has to watch for the events selected on a socket. Writability is
// of interest only after a send would have blocked, as a reply is pending then.
short PollEventsFor(unsigned mask, unsigned socketState) {
  short events = 0;
  if (mask & (kNetRead | kNetAccept | kNetClose)) events |= POLLIN | POLLRDHUP;
  if ((mask & kNetWrite) && (socketState & kWaitingToWrite)) events |= POLLOUT;
  return events;
}

int BytesWaiting(int fd) {
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) != 0) return 0;
  return waiting;
}

int PollWithTimeout(pollfd* fds, nfds_t count, int timeoutMs) {
  for (;;) {
    const int result = poll(fds, count, timeoutMs < 0 ? -1 : timeoutMs);
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace

Result StartSocketLibrary(std::uint16_t& grantedVersion) {
  grantedVersion = 0x0202;
  return Result();
}

void StopSocketLibrary() {}

bool IsWouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

bool IsPeerGoneBeforeAccept(int error) {
  return error == ECONNABORTED;
}

bool IsAddressInUse(int error) {
  return error == EADDRINUSE;
}

void Socket::CloseSystemSocket(std::intptr_t handle) {
  close(Fd(handle));
}

Result Socket::Receive(char* buffer, int capacity, int& received) {
  received = 0;
  const ssize_t count = recv(Fd(handle_), buffer, static_cast<std::size_t>(capacity), MSG_DONTWAIT);
  if (count < 0) return LastFailure();
  received = static_cast<int>(count);
  return Result();
}

Result Socket::Send(const char* bytes, int length, int& sent) {
  sent = 0;
  const ssize_t count =
      send(Fd(handle_), bytes, static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
  if (count < 0) {
    const Result failure = LastFailure();
    if (IsWouldBlock(failure.Code())) backendState_ |= kWaitingToWrite;
    return failure;
  }
  sent = static_cast<int>(count);
  return Result();
}

Result CreateListeningSocket(Socket& created) {
  created.Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastFailure();
  // Linux refuses to bind a port while closed connections of an earlier run
  // linger in TIME_WAIT, which Windows allows. This option restores that; it
  // still refuses a port that another socket listens on.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  created = Socket(fd);
  return Result();
}

Result BindAnyAddress(Socket& socket, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(Fd(socket.handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return LastFailure();
  }
  return Result();
}

Result Listen(Socket& socket) {
  if (listen(Fd(socket.handle_), SOMAXCONN) != 0) return LastFailure();
  return Result();
}

Result AcceptConnection(Socket& listening, Socket& accepted, PeerAddress& peer) {
  accepted.Close();
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const int fd = accept4(Fd(listening.handle_), reinterpret_cast<sockaddr*>(&address), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return LastFailure();
  std::memcpy(peer.bytes, &address.sin_addr.s_addr, 4);
  peer.portNetworkOrder = address.sin_port;
  accepted = Socket(fd);
  return Result();
}

Result NetEvent::Create() {
  Close();
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return LastFailure();
  handle_ = fd;
  return Result();
}

bool NetEvent::IsValid() const {
  return handle_ >= 0 || selected_ != nullptr;
}

void NetEvent::CloseSystemEvent(std::intptr_t handle) {
  close(Fd(handle));
}

// Never read back: the counter stays nonzero, so the event stays signalled.
Result NetEvent::Signal() {
  const std::uint64_t one = 1;
  if (write(Fd(handle_), &one, sizeof one) != sizeof one) return LastFailure();
  return Result();
}

Result NetEvent::Select(Socket& socket, unsigned mask) {
  if (!IsValid() || !socket.IsValid()) return Failure(EBADF);
  // A selected event waits on its socket alone; its own counter would only
  // hold a descriptor per connection.
  if (handle_ >= 0) close(Fd(handle_));
  handle_ = kInvalid;
  selected_ = &socket;
  mask_ = mask;
  backendState_ = 0;
  return Result();
}

// The peer's close is reported only once the data before it has been read,
// so a request followed at once by the close is still served. What the wait
// just saw is used as it is: an event that came since shows in the next wait.
Result NetEvent::Enumerate(Socket& socket, unsigned& events) {
  events = 0;
  pollfd fd{Fd(socket.handle_), PollEventsFor(mask_, socket.backendState_), 0};
  if (backendState_ != 0 && selected_ == &socket) {
    fd.revents = static_cast<short>(std::exchange(backendState_, 0));
  } else if (PollWithTimeout(&fd, 1, 0) < 0) {
    return LastFailure();
  }
  const bool ended = fd.revents & (POLLRDHUP | POLLHUP | POLLERR);
  const bool readable = (fd.revents & POLLIN) && (!ended || BytesWaiting(fd.fd) > 0);
  if (readable) events |= mask_ & (kNetRead | kNetAccept);
  if (ended && !readable) events |= mask_ & kNetClose;
  if ((fd.revents & POLLOUT) && (socket.backendState_ & kWaitingToWrite)) {
    socket.backendState_ &= ~kWaitingToWrite;
    events |= kNetWrite;
  }
  if (fd.revents & POLLNVAL) return Failure(EBADF);
  return Result();
}

// A selected event waits on its socket, a plain one on its own counter.
struct SocketAccess {
  static pollfd PollEntryOf(const NetEvent& event) {
    if (event.selected_ != nullptr) {
      const Socket& socket = *event.selected_;
      return pollfd{Fd(socket.handle_), PollEventsFor(event.mask_, socket.backendState_), 0};
    }
    return pollfd{Fd(event.handle_), POLLIN, 0};
  }

  // Only a selected event belongs to one thread; a plain one (the shutdown
  // event) is waited on by many at once and is left alone.
  static void KeepWhatTheWaitSaw(NetEvent& event, const pollfd& fd) {
    if (event.selected_ != nullptr) event.backendState_ = static_cast<unsigned short>(fd.revents);
  }
};

Result WaitForEither(NetEvent& first, NetEvent& second, int timeoutMs, WaitResult& woken) {
  pollfd fds[2] = {SocketAccess::PollEntryOf(first), SocketAccess::PollEntryOf(second)};
  const int result = PollWithTimeout(fds, 2, timeoutMs);
  const Result waited = result < 0 ? LastFailure() : Result();
  SocketAccess::KeepWhatTheWaitSaw(first, fds[0]);
  SocketAccess::KeepWhatTheWaitSaw(second, fds[1]);
  if (!waited) return waited;
  if (result == 0) {
    woken = WaitResult::kTimeout;
  } else {
    woken = fds[0].revents != 0 ? WaitResult::kFirst : WaitResult::kSecond;
  }
  return Result();
}

Result WaitForSignal(NetEvent& event, int timeoutMs, WaitResult& woken) {
  pollfd fd = SocketAccess::PollEntryOf(event);
  const int result = PollWithTimeout(&fd, 1, timeoutMs);
  if (result < 0) return LastFailure();
  woken = result == 0 ? WaitResult::kTimeout : WaitResult::kFirst;
  return Result();
}

}  // namespace platform
