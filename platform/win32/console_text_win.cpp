#include <io.h>
#include <windows.h>

#include <algorithm>
#include <climits>
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

// The C library's own handle: the one its stream reads or writes, also after
// a window program reopened it on a console.
HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// The characters of utf8 for WriteConsoleW, line ends as text mode writes
// them. A byte that is not UTF-8 shows as U+FFFD.
std::wstring ConsoleCharacters(std::string_view utf8) {
  std::wstring wide;
  if (utf8.empty() || utf8.size() > INT_MAX / 2) return wide;
  const int size = static_cast<int>(utf8.size());
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (count <= 0) return wide;
  wide.resize(static_cast<std::size_t>(count));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
  std::wstring shown;
  shown.reserve(wide.size() + wide.size() / 16);
  for (const wchar_t c : wide) {
    if (c == L'\n') shown += L'\r';
    shown += c;
  }
  return shown;
}

}  // namespace

std::istream& StandardInputUtf8() {
  const HANDLE input = HandleOf(stdin);
  if (!IsConsole(input)) return std::cin;
  // Never destroyed, like std::cin: a detached reader may still be blocked
  // in a read while the process exits.
  static std::istream* const console = new std::istream(new ConsoleInputBuffer(input));
  return *console;
}

// The C library would write the bytes in the console's code page, or (some
// runtimes) take each byte for a character of its own: the console gets
// UTF-16 instead.
void WriteUtf8(std::FILE* stream, std::string_view utf8) {
  const HANDLE output = HandleOf(stream);
  if (!IsConsole(output)) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    return;
  }
  std::fflush(stream);  // what the C library still holds comes first
  const std::wstring shown = ConsoleCharacters(utf8);
  const wchar_t* next = shown.data();
  std::size_t left = shown.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(output, next, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      return;
    }
    next += written;
    left -= written;
  }
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
