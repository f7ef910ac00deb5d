#include "platform/unicode_text.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace platform {

namespace {

bool ToWide(std::string_view utf8, std::vector<wchar_t>& wide) {
  if (utf8.size() > INT_MAX / 2) return false;
  const int size = static_cast<int>(utf8.size());
  const int count =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (count <= 0) return false;
  wide.resize(static_cast<std::size_t>(count));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(),
                             count) == count;
}

bool ToUtf8(const wchar_t* wide, int count, std::string& utf8) {
  if (count == 0) {
    utf8.clear();
    return true;
  }
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  utf8.resize(static_cast<std::size_t>(size));
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, utf8.data(), size, nullptr,
                             nullptr) == size;
}

}  // namespace

// The system's own NormalizeString: no library to ship. Its first answer is
// an estimate of the size; a short buffer is told by ERROR_INSUFFICIENT_BUFFER
// and a fresh estimate, so the call is repeated a few times at most.
bool NormalizeToNfc(std::string_view utf8, std::string& nfc) {
  if (utf8.empty()) {
    nfc.clear();
    return true;
  }
  std::vector<wchar_t> wide;
  if (!ToWide(utf8, wide)) return false;
  const int wideCount = static_cast<int>(wide.size());
  int estimate = NormalizeString(NormalizationC, wide.data(), wideCount, nullptr, 0);
  std::vector<wchar_t> composed;
  for (int attempt = 0; attempt < 4 && estimate > 0; ++attempt) {
    composed.resize(static_cast<std::size_t>(estimate));
    const int written =
        NormalizeString(NormalizationC, wide.data(), wideCount, composed.data(), estimate);
    if (written > 0) return ToUtf8(composed.data(), written, nfc);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    estimate = -written;
  }
  return false;
}

}  // namespace platform
