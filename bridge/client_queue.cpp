#include "bridge/client_queue.h"

namespace bridge {

bool ClientQueue::Push(Message message, Clock::time_point arrived) {
  if (waiting_.size() >= kMaxMessages ||
      (!waiting_.empty() && arrived - waiting_.front().arrived > kMaxLag)) {
    return false;
  }
  waiting_.push_back({std::move(message), arrived});
  return true;
}

}  // namespace bridge
