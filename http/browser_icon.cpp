#include "http/browser_icon.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;

std::uint32_t ReadLittle(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

void AppendLittle(std::string& bytes, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

}  // namespace

std::string IcoWithWidths(std::string_view ico, std::initializer_list<int> widths) {
  if (ico.size() < kHeaderSize || ReadLittle(ico, 0, 2) != 0 || ReadLittle(ico, 2, 2) != 1) {
    return std::string(ico);
  }
  const std::size_t count = ReadLittle(ico, 4, 2);
  if (ico.size() < kHeaderSize + count * kEntrySize) return std::string(ico);

  std::string entries;
  std::string images;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view entry = ico.substr(kHeaderSize + i * kEntrySize, kEntrySize);
    const std::uint32_t size = ReadLittle(entry, 8, 4);
    const std::uint32_t offset = ReadLittle(entry, 12, 4);
    if (offset > ico.size() || size > ico.size() - offset) return std::string(ico);
    const int width = entry[0] == 0 ? 256 : static_cast<unsigned char>(entry[0]);
    if (std::find(widths.begin(), widths.end(), width) == widths.end()) continue;
    entries.append(entry.substr(0, 8));
    AppendLittle(entries, size, 4);
    entries.append(4, '\0');  // its offset, once every kept entry is known
    images.append(ico.substr(offset, size));
    ++kept;
  }
  std::string result;
  AppendLittle(result, 0, 2);
  AppendLittle(result, 1, 2);
  AppendLittle(result, static_cast<std::uint32_t>(kept), 2);
  std::size_t offset = kHeaderSize + kept * kEntrySize;
  for (std::size_t i = 0; i < kept; ++i) {
    std::string entry = entries.substr(i * kEntrySize, kEntrySize);
    entry.resize(12);
    AppendLittle(entry, static_cast<std::uint32_t>(offset), 4);
    result.append(entry);
    offset += ReadLittle(entry, 8, 4);
  }
  result.append(images);
  return result;
}
