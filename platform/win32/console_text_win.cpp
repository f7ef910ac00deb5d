#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "platform/console_text.h"
#include "platform/win32/utf16_to_utf8.h"

namespace platform {
namespace {

// What the console types, read as UTF-16 (the bytes of ReadFile would be in
// the console's code page, which cannot hold every name) and handed on as
// UTF-8 lines ending in "\n", as the C library's text mode hands on a pipe.
class ConsoleInputBuffer : public std::streambuf {
 public:
  explicit ConsoleInputBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type underflow() override {
    while (gptr() == egptr()) {
      if (!Fill()) return traits_type::eof();
    }
    return traits_type::to_int_type(*gptr());
  }

 private:
  static constexpr DWORD kWideChunk = 512;

  // False at the end of input: a failed read, a read of nothing (as the C
  // library takes it), or Ctrl+Z, which ends the input where it is typed.
  bool Fill() {
    if (ended_) return false;
    DWORD count = 0;
    if (!ReadConsoleW(console_, wide_, kWideChunk, &count, nullptr) || count == 0) {
      ended_ = true;
      return false;
    }
    std::wstring_view piece(wide_, count);
    if (const std::size_t stop = piece.find(L'\x1a'); stop != std::wstring_view::npos) {
      piece = piece.substr(0, stop);
      ended_ = true;
    }
    text_.clear();
    decoder_.Append(piece, text_);
    std::erase(text_, '\r');  // Enter types "\r\n"
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return true;
  }

  HANDLE console_;
  bool ended_ = false;
  wchar_t wide_[kWideChunk];
  Utf16ToUtf8 decoder_;
  std::string text_;
};

HANDLE StandardInputHandle() {
  // The C library's own handle: the one std::cin reads, also after a window
  // program reopened its input on a console.
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
}

}  // namespace

std::istream& StandardInputUtf8() {
  const HANDLE input = StandardInputHandle();
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return std::cin;
  // Never destroyed, like std::cin: a detached reader may still be blocked
  // in a read while the process exits.
  static std::istream* const console = new std::istream(new ConsoleInputBuffer(input));
  return *console;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() {
  const UINT current = GetConsoleOutputCP();  // 0 without a console
  if (current == 0 || current == CP_UTF8) return;
  if (SetConsoleOutputCP(CP_UTF8)) previousCodePage_ = current;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (previousCodePage_ != 0) SetConsoleOutputCP(previousCodePage_);
}

}  // namespace platform
