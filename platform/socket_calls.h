// The socket, event and thread-start calls of the server engine as a table,
// the system's own calls by default. A test puts a call of its own in place of one of them
// for a while (ReplacedCall), to make the system fail where it seldom does;
// the engine calls through the table and so needs no test flag that it would
// check on every call.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "platform/socket.h"
#include "platform/thread.h"

namespace platform {

// One call of the table. The engine's threads call it while a test may put
// another in its place, so the pointer is atomic; a relaxed load of it costs
// what a plain load costs.
template <typename Function>
class ReplaceableCall {
 public:
  constexpr explicit ReplaceableCall(Function system) : call_(system) {}
  ReplaceableCall(const ReplaceableCall&) = delete;
  ReplaceableCall& operator=(const ReplaceableCall&) = delete;

  template <typename... Arguments>
  Result operator()(Arguments&&... arguments) const {
    return call_.load(std::memory_order_relaxed)(std::forward<Arguments>(arguments)...);
  }

  // Puts replacement in place; returns the call that was there.
  Function Exchange(Function replacement) { return call_.exchange(replacement); }

 private:
  std::atomic<Function> call_;
};

struct SocketCalls {
  ReplaceableCall<Result (*)(Socket& created)> createListeningSocket{&CreateListeningSocket};
  ReplaceableCall<Result (*)(Socket& socket, std::uint16_t port)> bindAnyAddress{&BindAnyAddress};
  ReplaceableCall<Result (*)(Socket& socket)> listen{&Listen};
  ReplaceableCall<Result (*)(Socket& listening, Socket& accepted, PeerAddress& peer)>
      acceptConnection{&AcceptConnection};
  ReplaceableCall<Result (*)(NetEvent& event)> createEvent{
      [](NetEvent& event) { return event.Create(); }};
  ReplaceableCall<Result (*)(NetEvent& event, Socket& socket, unsigned mask)> selectEvents{
      [](NetEvent& event, Socket& socket, unsigned mask) { return event.Select(socket, mask); }};
  ReplaceableCall<Result (*)(NetEvent& event, Socket& socket, unsigned& events)> enumerateEvents{
      [](NetEvent& event, Socket& socket, unsigned& events) {
        return event.Enumerate(socket, events);
      }};
  ReplaceableCall<Result (*)(NetEvent& first, NetEvent& second, int timeoutMs, WaitResult& woken)>
      waitForEither{&WaitForEither};
  ReplaceableCall<Result (*)(Socket& socket, char* buffer, int capacity, int& received)> receive{
      [](Socket& socket, char* buffer, int capacity, int& received) {
        return socket.Receive(buffer, capacity, received);
      }};
  ReplaceableCall<Result (*)(Socket& socket, const char* bytes, int length, int& sent)> send{
      [](Socket& socket, const char* bytes, int length, int& sent) {
        return socket.Send(bytes, length, sent);
      }};
  ReplaceableCall<Result (*)(Thread& thread, Thread::Function function, void* argument,
                             std::size_t stackBytes)>
      startThread{
          [](Thread& thread, Thread::Function function, void* argument, std::size_t stackBytes) {
            return thread.Start(function, argument, stackBytes);
          }};
};

// Puts replacement in the place of call for its own lifetime, then puts back
// what was there.
template <typename Function>
class ReplacedCall {
 public:
  ReplacedCall(ReplaceableCall<Function>& call, std::type_identity_t<Function> replacement)
      : call_(call), original_(call.Exchange(replacement)) {}
  ~ReplacedCall() { call_.Exchange(original_); }
  ReplacedCall(const ReplacedCall&) = delete;
  ReplacedCall& operator=(const ReplacedCall&) = delete;

 private:
  ReplaceableCall<Function>& call_;
  Function original_;
};

}  // namespace platform
