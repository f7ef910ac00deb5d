#include "bridge/commands.h"

#include <array>

#include "sdk/c/tvxhdv.h"

namespace bridge {

namespace {
constexpr std::array<std::string_view, 6> kNames = {"short-single",  "normal-single",
                                                    "long-single",   "short-double",
                                                    "normal-double", "long-double"};
}  // namespace

const char* const kPatternNames =
    "short-single, normal-single, long-single, short-double, normal-double, long-double";

std::optional<unsigned> PatternByName(std::string_view name) {
  for (unsigned i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return TVXHDV_SHORT_SINGLE + i;
  }
  return std::nullopt;
}

std::optional<unsigned> PatternByNumber(long long number) {
  if (number < 1 || number > 6) return std::nullopt;
  return TVXHDV_SHORT_SINGLE + static_cast<unsigned>(number - 1);
}

Outcome CheckCommand(long long pointer, long long code) {
  if (pointer < 0 || pointer >= TVXHDV_POINTERS) {
    return Outcome::Failure("pointer " + std::to_string(pointer) +
                            " does not exist: phones are numbered 0 to 79");
  }
  if (code < 0 || code > 255) {
    return Outcome::Failure("code " + std::to_string(code) +
                            " is out of range: codes are 0 to 255");
  }
  return Outcome::Ok();
}

bool CommandQueue::Push(PhoneCommand command) {
  std::lock_guard lock(mutex_);
  if (commands_.size() >= kMaxQueued) return false;
  commands_.push_back(std::move(command));
  return true;
}

std::deque<PhoneCommand> CommandQueue::TakeAll() {
  std::deque<PhoneCommand> taken;
  std::lock_guard lock(mutex_);
  taken.swap(commands_);
  return taken;
}

}  // namespace bridge
