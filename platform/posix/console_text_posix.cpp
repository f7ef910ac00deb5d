#include <cstdio>
#include <iostream>

#include "platform/console_text.h"

namespace platform {

// Terminals here take and give UTF-8 already.
std::istream& StandardInputUtf8() {
  return std::cin;
}

void WriteUtf8(std::FILE* stream, std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;

Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace platform
