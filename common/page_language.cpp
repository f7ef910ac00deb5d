#include "common/page_language.h"

#include "common/ascii.h"

namespace {

constexpr std::size_t kLongestTag = 35;
constexpr std::size_t kLongestPart = 8;
constexpr int kTagsTried = 16;

bool IsLetter(char c) {
  const char lower = AsciiLower(c);
  return lower >= 'a' && lower <= 'z';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool EqualTags(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<std::size_t> IndexOf(const std::vector<std::string>& available,
                                   std::string_view tag) {
  for (std::size_t i = 0; i < available.size(); ++i) {
    if (EqualTags(available[i], tag)) return i;
  }
  return std::nullopt;
}

}  // namespace

bool IsLanguageTag(std::string_view tag) {
  if (tag.empty() || tag.size() > kLongestTag) return false;
  bool first = true;
  for (std::size_t start = 0; start <= tag.size();) {
    std::size_t end = tag.find('-', start);
    if (end == std::string_view::npos) end = tag.size();
    const std::string_view part = tag.substr(start, end - start);
    if (part.empty() || part.size() > kLongestPart || (first && part.size() < 2)) return false;
    for (const char c : part) {
      if (!IsLetter(c) && (first || !IsDigit(c))) return false;
    }
    first = false;
    start = end + 1;
  }
  return true;
}

std::optional<std::size_t> LookUpLanguage(const std::vector<std::string>& available,
                                          std::string_view wanted) {
  int tried = 0;
  while (!wanted.empty() && tried < kTagsTried) {
    const std::size_t comma = wanted.find(',');
    std::string_view tag = wanted.substr(0, comma);
    wanted = comma == std::string_view::npos ? std::string_view() : wanted.substr(comma + 1);
    tag = Trimmed(tag.substr(0, tag.find(';')));
    if (tag.empty()) continue;
    ++tried;
    for (;;) {
      if (const std::optional<std::size_t> found = IndexOf(available, tag)) return found;
      const std::size_t dash = tag.rfind('-');
      if (dash == std::string_view::npos) break;
      tag = tag.substr(0, dash);
    }
  }
  return std::nullopt;
}
