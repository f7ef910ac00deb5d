#include "platform/unicode_text.h"

#include <utf8proc.h>

#include <cstdlib>

namespace platform {

// utf8proc rather than ICU: one small C library with no data files to load
// and no C++ ABI to match, and NFC is all the program asks of it.
bool NormalizeToNfc(std::string_view utf8, std::string& nfc) {
  utf8proc_uint8_t* composed = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
                   static_cast<utf8proc_ssize_t>(utf8.size()), &composed,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) return false;
  nfc.assign(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
  std::free(composed);
  return true;
}

}  // namespace platform
