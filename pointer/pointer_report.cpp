#include "pointer/pointer_report.h"

#include "common/pointer_limits.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Where each field lies in the path. The two button characters are read as
// "0" or not; the others as hexadecimal numbers.
struct HexField {
  std::uint32_t PointerReport::*value;
  int offset;
  int count;
};

constexpr HexField kHexFields[] = {
    {&PointerReport::layout, 7, 1},   {&PointerReport::screen, 8, 2},
    {&PointerReport::pointer, 10, 2}, {&PointerReport::frame, 12, 4},
    {&PointerReport::x, 16, 4},       {&PointerReport::y, 20, 4},
    {&PointerReport::ackMode, 26, 2}, {&PointerReport::ackPacket, 28, 2}};
constexpr std::size_t kButtonLOffset = 24;
constexpr std::size_t kButtonROffset = 25;

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
  for (const HexField& field : kHexFields)
    report.*field.value = FieldAt(path, field.offset, field.count);
  report.buttonL = ButtonAt(path, kButtonLOffset);
  report.buttonR = ButtonAt(path, kButtonROffset);

  if (path.size() < kPointerReportLength) return false;
  for (const HexField& field : kHexFields) {
    for (int i = 0; i < field.count; ++i) {
      if (!IsHexDigit(path[static_cast<std::size_t>(field.offset + i)])) return false;
    }
  }
  return IsValidPointer(static_cast<int>(report.pointer));
}
