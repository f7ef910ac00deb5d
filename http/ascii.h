// ASCII-only letter case: bytes outside A to Z are left alone, whatever the
// locale or code page.
#pragma once

#include <cstddef>
#include <string_view>

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text holds needle with letters in any case; needle is given in lower case.
inline bool ContainsIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
  if (lowerNeedle.empty()) return true;
  for (std::size_t at = text.find(lowerNeedle.front()); at != std::string_view::npos;
       at = text.find(lowerNeedle.front(), at + 1)) {
    if (text.size() - at < lowerNeedle.size()) return false;
    std::size_t i = 1;
    while (i < lowerNeedle.size() && AsciiLower(text[at + i]) == lowerNeedle[i]) ++i;
    if (i == lowerNeedle.size()) return true;
  }
  return false;
}
