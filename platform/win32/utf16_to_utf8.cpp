#include "platform/win32/utf16_to_utf8.h"

#include <windows.h>

#include <climits>

namespace platform {
namespace {

bool IsHighSurrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

void Utf16ToUtf8::Append(std::wstring_view piece, std::string& utf8) {
  if (piece.empty()) return;
  joined_.clear();
  if (heldHighSurrogate_ != 0) joined_ += heldHighSurrogate_;
  joined_ += piece;
  heldHighSurrogate_ = 0;
  if (IsHighSurrogate(joined_.back())) {
    heldHighSurrogate_ = joined_.back();
    joined_.pop_back();
  }
  if (joined_.empty() || joined_.size() > INT_MAX / 4) return;
  const int units = static_cast<int>(joined_.size());
  // No WC_ERR_INVALID_CHARS: a lone surrogate becomes U+FFFD instead of
  // losing the whole line.
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, joined_.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  const std::size_t start = utf8.size();
  utf8.resize(start + static_cast<std::size_t>(bytes));
  const int written = WideCharToMultiByte(CP_UTF8, 0, joined_.data(), units, utf8.data() + start,
                                          bytes, nullptr, nullptr);
  utf8.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
}

}  // namespace platform
