#include "qrtool/pointer_list.h"

#include <array>

#include "common/pointer_limits.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A pointer number of decimal digits alone; false for anything else, and for
// a number outside the pointers (checked as the digits come, so that a long
// run of them cannot overflow).
bool ParsePointer(std::string_view text, int& pointer) {
  text = Trimmed(text);
  if (text.empty()) return false;
  pointer = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return false;
    pointer = pointer * 10 + (digit - '0');
    if (!IsValidPointer(pointer)) return false;
  }
  return true;
}

bool ParseItem(std::string_view item, int& first, int& last) {
  const std::size_t dash = item.find('-');
  if (dash == std::string_view::npos) {
    if (!ParsePointer(item, first)) return false;
    last = first;
    return true;
  }
  return ParsePointer(item.substr(0, dash), first) && ParsePointer(item.substr(dash + 1), last) &&
         first <= last;
}

}  // namespace

PointerList ParsePointerList(std::string_view text) {
  PointerList list;
  if (Trimmed(text).empty()) return list;
  std::array<bool, kPointerCount> chosen{};
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma - start);
    int first = 0;
    int last = 0;
    if (!ParseItem(item, first, last)) {
      list.valid = false;
      list.badItem = std::string(Trimmed(item));
      return list;
    }
    for (int pointer = first; pointer <= last; ++pointer) chosen[pointer] = true;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    if (chosen[pointer]) list.pointers.push_back(pointer);
  }
  return list;
}
