// What waits to be written to one WebSocket client. A client that keeps up
// has next to nothing here; one whose oldest waiting message is more than a
// second old has fallen behind and is let go, so that it never holds up the
// others. The times come from the caller, so the rule can be tested without
// waiting.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

namespace bridge {

using Clock = std::chrono::steady_clock;
using Message = std::shared_ptr<const std::string>;

class ClientQueue {
 public:
  static constexpr std::chrono::milliseconds kMaxLag{1000};
  // Far more than a second of 80 phones' reports: only a limit on memory.
  static constexpr std::size_t kMaxMessages = 32768;

  // Queues message, which arrived at the given time; false when the client
  // has fallen behind (the message is then not queued).
  bool Push(Message message, Clock::time_point arrived);
  bool Empty() const { return waiting_.empty(); }
  const Message& Front() const { return waiting_.front().message; }
  void Pop() { waiting_.pop_front(); }
  void Clear() { waiting_.clear(); }
  std::size_t Size() const { return waiting_.size(); }

 private:
  struct Waiting {
    Message message;
    Clock::time_point arrived;
  };
  std::deque<Waiting> waiting_;
};

}  // namespace bridge
