// ASCII-only letter case: bytes outside A to Z are left alone, whatever the
// locale or code page.
#pragma once

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
