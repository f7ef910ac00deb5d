#include "http/pointer_report.h"

#include "common/pointer_limits.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Offsets of the fields that are read as hexadecimal numbers (the two button
// characters are read as "0" or not).
constexpr struct {
  int offset;
  int count;
} kHexFields[] = {{7, 1}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 4}, {26, 2}, {28, 2}};

}  // namespace

std::uint32_t DecodeHexField(std::string_view text, int offset, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) {
    const auto code = static_cast<unsigned char>(text[static_cast<std::size_t>(offset + i)]);
    const std::uint32_t digit = code <= 57 ? code - 48u : code <= 70 ? code - 55u : code - 87u;
    value = value * 16 + digit;
  }
  return value;
}

char* AppendHexByte(char* out, std::uint32_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  *out++ = kDigits[(byte >> 4) & 0x0F];
  *out++ = kDigits[byte & 0x0F];
  return out;
}

bool DecodePointerReport(std::string_view path, PointerReport& report) {
  if (path.size() < kPointerReportLength) return false;
  for (const auto& field : kHexFields) {
    for (int i = 0; i < field.count; ++i) {
      if (!IsHexDigit(path[static_cast<std::size_t>(field.offset + i)])) return false;
    }
  }
  report.layout = DecodeHexField(path, 7, 1);
  report.screen = DecodeHexField(path, 8, 2);
  report.pointer = DecodeHexField(path, 10, 2);
  report.frame = DecodeHexField(path, 12, 4);
  report.x = DecodeHexField(path, 16, 4);
  report.y = DecodeHexField(path, 20, 4);
  report.buttonL = path[24] == '0' ? 0 : 1;
  report.buttonR = path[25] == '0' ? 0 : 1;
  report.ackMode = DecodeHexField(path, 26, 2);
  report.ackPacket = DecodeHexField(path, 28, 2);
  return IsValidPointer(static_cast<int>(report.pointer));
}
