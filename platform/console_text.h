// Text between the console and the program, as UTF-8 whatever the console's
// own code page: a name typed with accents or in another script arrives as
// the same bytes a phone would send, and names shown come out as typed.
#pragma once

#include <cstdio>
#include <istream>
#include <string_view>

namespace platform {

// Standard input as UTF-8. A Windows console types UTF-16, which is
// converted line by line; pipes and files are read byte for byte.
std::istream& StandardInputUtf8();

// Writes UTF-8 text to stream: a console shows the characters it encodes
// whatever its code page and C library; a pipe or a file gets the bytes as
// they are. One call writes the text whole.
void WriteUtf8(std::FILE* stream, std::string_view utf8);

// While it lives, the console takes what the C library writes (printf,
// fputs) for UTF-8; afterwards the console has its own code page back.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  [[maybe_unused]] unsigned previousCodePage_ = 0;  // 0: nothing to give back (Windows)
};

}  // namespace platform
