// ASCII-only letter case: bytes outside A to Z are left alone, whatever the
// locale or code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

// The comparisons below take their second text in lower case.
inline bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCase) {
  if (text.size() != lowerCase.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiLower(text[i]) != lowerCase[i]) return false;
  }
  return true;
}

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         EqualsIgnoringCase(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

inline bool ContainsIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
  for (std::size_t at = 0; at + lowerNeedle.size() <= text.size(); ++at) {
    if (StartsWithIgnoringCase(text.substr(at), lowerNeedle)) return true;
  }
  return false;
}
