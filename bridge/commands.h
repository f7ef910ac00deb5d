// What the outputs ask of the phones: a vibration or a command code for one
// pointer, or to drop what still waits for it, handed from the listeners'
// thread to the one that holds the kit's handle (a handle belongs to one
// thread at a time). The names and checks here are the same for OSC and JSON.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/outcome.h"
#include "sdk/c/tvxhdv.h"

namespace bridge {

struct PhoneCommand {
  int pointer = 0;
  unsigned code = 0;
  // Drops what waits for the pointer instead of putting a code.
  bool cancel = false;
  // Called on the reader's thread with the kit's reason when the command
  // could not be put (no server, the phone's FIFO full); may be empty.
  std::function<void(const std::string&)> failed;
};

// The vibration's code (0xA0 to 0xA5) for "short-single" ... "long-double".
std::optional<unsigned> PatternByName(std::string_view name);
// The vibration's code for pattern number 1 to 6, in the same order.
std::optional<unsigned> PatternByNumber(long long number);
// The show code for what is asked of the phone's pad:
//   ShowCodeByName("correct", {}) -> 0xB1 (a tick)   "wrong" -> 0xB2 (a cross)
//   ShowCodeByName("clear", {})   -> 0xB0 (nothing)
//   ShowCodeByName("colour", 5)   -> 0xC5 ("color" too; n 0 to 7)
//   ShowCodeByName("digit", 9)    -> 0xD9 (n 0 to 9)
// nullopt for another name, a colour or digit without n or out of range, or
// an n given to a name that takes none.
std::optional<unsigned> ShowCodeByName(std::string_view what, std::optional<long long> n);
// Fails with what a listener says when the pointer is not 0 to 79 or the code
// is none the phone's page plays or shows (a vibration A0-A5, or B0-B2,
// C0-C7, D0-D9): the server passes 0 and FF on as nothing, and the page
// ignores the rest.
Outcome CheckCommand(long long pointer, long long code);
// Fails as CheckCommand does for a pointer out of range.
Outcome CheckPointer(long long pointer);

extern const char* const kPatternNames;  // for error texts: "short-single, ..."
extern const char* const kShowNames;     // for error texts: "correct, wrong, ..."

// Puts command through the kit's handle: its code, or for a cancel the
// dropping of what waits in the area. TVXHDV_OK, or the kit's result.
int PutCommand(tvxhdv* handle, const PhoneCommand& command);

class CommandQueue {
 public:
  // False, and nothing queued, when kMaxQueued commands wait already. A
  // cancel drops the commands for its pointer that wait here, then waits
  // itself to drop those in the area.
  bool Push(PhoneCommand command);
  static constexpr std::size_t kMaxQueued = 4096;
  // Everything queued, oldest first; never blocks for long.
  std::deque<PhoneCommand> TakeAll();

 private:
  std::mutex mutex_;
  std::deque<PhoneCommand> commands_;
};

}  // namespace bridge
