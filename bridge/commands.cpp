#include "bridge/commands.h"

#include <array>

#include "sdk/c/tvxhdv.h"

namespace bridge {

namespace {
constexpr std::array<std::string_view, 6> kNames = {"short-single",  "normal-single",
                                                    "long-single",   "short-double",
                                                    "normal-double", "long-double"};
}  // namespace

const char* const kShowNames =
    "correct, wrong, clear, colour 0 to 7 (or color), digit 0 to 9";

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

std::optional<unsigned> ShowCodeByName(std::string_view what, std::optional<long long> n) {
  if (what == "colour" || what == "color") {
    if (!n || *n < 0 || *n > 7) return std::nullopt;
    return TVXHDV_SHOW_COLOR(*n);
  }
  if (what == "digit") {
    if (!n || *n < 0 || *n > 9) return std::nullopt;
    return TVXHDV_SHOW_NUMBER(*n);
  }
  if (n) return std::nullopt;
  if (what == "correct") return TVXHDV_SHOW_CORRECT;
  if (what == "wrong") return TVXHDV_SHOW_WRONG;
  if (what == "clear") return TVXHDV_SHOW_CLEAR;
  return std::nullopt;
}

Outcome CheckPointer(long long pointer) {
  if (pointer >= 0 && pointer < TVXHDV_POINTERS) return Outcome::Ok();
  return Outcome::Failure("pointer " + std::to_string(pointer) +
                          " does not exist: phones are numbered 0 to 79");
}

namespace {
bool KnownToThePage(long long code) {
  const auto in = [code](long long first, long long last) { return code >= first && code <= last; };
  return in(TVXHDV_SHORT_SINGLE, TVXHDV_LONG_DOUBLE) || in(TVXHDV_SHOW_CLEAR, TVXHDV_SHOW_WRONG) ||
         in(TVXHDV_SHOW_COLOR(0), TVXHDV_SHOW_COLOR(7)) ||
         in(TVXHDV_SHOW_NUMBER(0), TVXHDV_SHOW_NUMBER(9));
}
}  // namespace

Outcome CheckCommand(long long pointer, long long code) {
  Outcome pointerChecked = CheckPointer(pointer);
  if (!pointerChecked) return pointerChecked;
  if (!KnownToThePage(code)) {
    return Outcome::Failure("code " + std::to_string(code) +
                            " never reaches a phone: its page knows 160 to 165 (vibrations "
                            "A0 to A5) and 176 to 178, 192 to 199, 208 to 217 (shows B0 to B2, "
                            "C0 to C7, D0 to D9)");
  }
  return Outcome::Ok();
}

int PutCommand(tvxhdv* handle, const PhoneCommand& command) {
  if (!command.cancel) return tvxhdv_send(handle, command.pointer, command.code);
  const int dropped = tvxhdv_clear_queue(handle, command.pointer);
  return dropped >= 0 ? TVXHDV_OK : dropped;
}

bool CommandQueue::Push(PhoneCommand command) {
  std::lock_guard lock(mutex_);
  if (command.cancel) {
    std::erase_if(commands_, [&](const PhoneCommand& queued) {
      return queued.pointer == command.pointer && !queued.cancel;
    });
  }
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
