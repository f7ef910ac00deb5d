// Decoding of a phone's pointer report: "/tolvex" followed by 23 characters of
// fixed-width hexadecimal fields.
#pragma once

#include <cstdint>
#include <string_view>

struct PointerReport {
  std::uint32_t layout = 0;
  std::uint32_t screen = 0;
  std::uint32_t pointer = 0;
  std::uint32_t frame = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint32_t buttonL = 0;
  std::uint32_t buttonR = 0;
  std::uint32_t ackMode = 0;
  std::uint32_t ackPacket = 0;
};

inline constexpr std::size_t kPointerReportLength = 30;

// Reads count hexadecimal digits from offset; either letter case. Characters
// are not checked, a count of 0 or less gives 0.
std::uint32_t DecodeHexField(std::string_view text, int offset, int count);

// Writes the byte as two upper-case hexadecimal digits; returns the position after them.
char* AppendHexByte(char* out, std::uint32_t byte);

// Decodes a report path. Refuses (false) a path shorter than a report, a field
// character that is no hexadecimal digit and a pointer number outside 0 to 79;
// the fields are filled all the same, as far as the path goes, for the log.
bool DecodePointerReport(std::string_view path, PointerReport& report);
