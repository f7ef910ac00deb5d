// The header lines of a raw request: those after the request line, up to the
// first empty one.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>

#include "common/ascii.h"

// A line of nothing but spaces, tabs and a carriage return ends the headers.
inline bool IsBlankHeaderLine(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// Calls visit(value) for the value, untrimmed, of every header line of the
// given name (lower case, with its colon), in order; a header may be split
// over several lines. A visit that returns bool ends the walk with false.
template <typename Visit>
void ForEachHeader(std::string_view request, std::string_view lowerNameColon, Visit visit) {
  std::size_t lineStart = request.find('\n');
  while (lineStart != std::string_view::npos) {
    ++lineStart;
    const std::size_t lineEnd = request.find('\n', lineStart);
    const std::string_view line =
        request.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                    : lineEnd - lineStart);
    if (IsBlankHeaderLine(line)) return;
    if (StartsWithIgnoringCase(line, lowerNameColon)) {
      const std::string_view value = line.substr(lowerNameColon.size());
      if constexpr (std::is_same_v<std::invoke_result_t<Visit&, std::string_view>, bool>) {
        if (!visit(value)) return;
      } else {
        visit(value);
      }
    }
    lineStart = lineEnd;
  }
}

// The untrimmed value of the first header line of the given name.
inline std::optional<std::string_view> FirstHeader(std::string_view request,
                                                   std::string_view lowerNameColon) {
  std::optional<std::string_view> first;
  ForEachHeader(request, lowerNameColon, [&](std::string_view value) {
    first = value;
    return false;
  });
  return first;
}
