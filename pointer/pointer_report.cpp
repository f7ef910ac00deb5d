#include "pointer/pointer_report.h"

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

namespace {

// A field cut short by the end of the path holds what its characters give.
std::uint32_t FieldAt(std::string_view path, int offset, int count) {
  const auto available = static_cast<int>(path.size()) - offset;
  return DecodeHexField(path, offset, available < count ? available : count);
}

std::uint32_t ButtonAt(std::string_view path, std::size_t offset) {
  return offset < path.size() && path[offset] != '0' ? 1 : 0;
}

}  // namespace

bool DecodePointerReport(std::string_view path, PointerReport& report) {
  report.layout = FieldAt(path, 7, 1);
  report.screen = FieldAt(path, 8, 2);
  report.pointer = FieldAt(path, 10, 2);
  report.frame = FieldAt(path, 12, 4);
  report.x = FieldAt(path, 16, 4);
  report.y = FieldAt(path, 20, 4);
  report.buttonL = ButtonAt(path, 24);
  report.buttonR = ButtonAt(path, 25);
  report.ackMode = FieldAt(path, 26, 2);
  report.ackPacket = FieldAt(path, 28, 2);

  if (path.size() < kPointerReportLength) return false;
  for (const auto& field : kHexFields) {
    for (int i = 0; i < field.count; ++i) {
      if (!IsHexDigit(path[static_cast<std::size_t>(field.offset + i)])) return false;
    }
  }
  return IsValidPointer(static_cast<int>(report.pointer));
}
