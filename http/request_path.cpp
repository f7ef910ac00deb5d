#include "http/request_path.h"

#include <array>

#include "common/ascii.h"

namespace {

bool IsOnlyDotsAndBlanks(std::string_view segment) {
  return segment.find_first_not_of(". ") == std::string_view::npos;
}

// Windows opens a device for these names in any folder and with any
// extension ("nul.txt"), trailing blanks ignored.
bool IsDeviceName(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  base = base.substr(0, base.find_last_not_of(' ') + 1);
  static constexpr std::array<std::string_view, 6> kFixed = {"con", "prn",    "aux",
                                                             "nul", "conin$", "conout$"};
  for (const std::string_view name : kFixed) {
    if (EqualsIgnoringCase(base, name)) return true;
  }
  if (base.size() == 4 && (EqualsIgnoringCase(base.substr(0, 3), "com") ||
                           EqualsIgnoringCase(base.substr(0, 3), "lpt"))) {
    // Windows also reads superscript one to three (code page 1252) as digits here.
    const auto last = static_cast<unsigned char>(base[3]);
    return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
  }
  return false;
}

bool IsSafeSegment(std::string_view segment) {
  if (segment.empty() || IsOnlyDotsAndBlanks(segment) || IsDeviceName(segment)) return false;
  for (const char c : segment) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\\' || c == ':') return false;
  }
  return true;
}

}  // namespace

bool IsPathInsideRoot(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  path.remove_prefix(1);
  while (true) {
    const std::size_t slash = path.find('/');
    if (!IsSafeSegment(path.substr(0, slash))) return false;
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}
