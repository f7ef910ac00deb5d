// Fuzz inputs written as short text scripts, one operation a line: the seed
// corpora stay readable and the mutations still reach every operation.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

class ScriptLines {
 public:
  ScriptLines(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  // The next line without its line end; false at the end of the input.
  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return true;
  }

 private:
  std::string_view rest_;
};

// The decimal (or, with base 16, hexadecimal) number at the start of text,
// with what follows it; fallback when there is none.
template <typename Number>
Number LeadingNumber(std::string_view& text, Number fallback, int base = 10) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc()) return fallback;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return value;
}
