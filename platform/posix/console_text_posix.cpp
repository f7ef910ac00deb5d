#include <iostream>

#include "platform/console_text.h"

namespace platform {

// Terminals here take and give UTF-8 already.
std::istream& StandardInputUtf8() {
  return std::cin;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;

Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace platform
