#include "common/ini_values.h"

#include <cctype>
#include <climits>
#include <cstdint>

#include "common/ascii.h"

bool IsBooleanTextOn(std::string_view text) {
  return !EqualsIgnoringCase(text, "false");
}

bool ParseLeadingInteger(std::string_view text, int& value) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;

  // Accumulate with saturation so that an overlong number cannot overflow.
  std::int64_t magnitude = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > INT64_C(1) << 32) magnitude = INT64_C(1) << 32;
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  value = static_cast<int>(signedValue < INT_MIN   ? INT_MIN
                           : signedValue > INT_MAX ? INT_MAX
                                                   : signedValue);
  return true;
}

bool IsAutoText(std::string_view text) {
  return EqualsIgnoringCase(text, "auto");
}
