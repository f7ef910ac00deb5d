// What the outputs ask of the phones: a vibration or a command code for one
// pointer, handed from the listeners' thread to the one that holds the kit's
// handle (a handle belongs to one thread at a time).
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/outcome.h"

namespace bridge {

struct PhoneCommand {
  int pointer = 0;
  unsigned code = 0;
  // Instead of a code: drop every command still queued for the pointer.
  bool dropQueued = false;
  // Called on the reader's thread with the kit's reason when the command
  // could not be put (no server, the phone's FIFO full); may be empty.
  std::function<void(const std::string&)> failed;
};

// The vibration's code (0xA0 to 0xA5) for "short-single" ... "long-double".
std::optional<unsigned> PatternByName(std::string_view name);
// The vibration's code for pattern number 1 to 6, in the same order.
std::optional<unsigned> PatternByNumber(long long number);
// Fails with what a listener says when the pointer or code is out of range.
Outcome CheckCommand(long long pointer, long long code);

extern const char* const kPatternNames;  // for error texts: "short-single, ..."

class CommandQueue {
 public:
  // False, and nothing queued, when kMaxQueued commands wait already.
  bool Push(PhoneCommand command);
  static constexpr std::size_t kMaxQueued = 4096;
  // Everything queued, oldest first; never blocks for long.
  std::deque<PhoneCommand> TakeAll();

 private:
  std::mutex mutex_;
  std::deque<PhoneCommand> commands_;
};

}  // namespace bridge
