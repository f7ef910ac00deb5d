// UTF-16 that arrives in pieces, one console read at a time, as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Utf16ToUtf8 {
 public:
  // Appends the UTF-8 of piece to utf8. A read can end between the two
  // halves of a surrogate pair (an emoji, say): a high surrogate at the end
  // of a piece waits for the next piece. A half without its other half
  // becomes U+FFFD, so the rest of the line still arrives.
  void Append(std::wstring_view piece, std::string& utf8);

 private:
  wchar_t heldHighSurrogate_ = 0;
  std::wstring joined_;  // kept for its capacity
};

}  // namespace platform
