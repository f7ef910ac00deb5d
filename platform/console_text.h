// Text between the console and the program, as UTF-8 whatever the console's
// own code page: a name typed with accents or in another script arrives as
// the same bytes a phone would send, and names shown come out as typed.
#pragma once

#include <istream>

namespace platform {

// Standard input as UTF-8. A Windows console types UTF-16, which is
// converted line by line; pipes and files are read byte for byte.
std::istream& StandardInputUtf8();

// While it lives, the console shows the program's UTF-8 output as such;
// afterwards the console has its own code page back. Pipes and files get the
// bytes as written either way.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  unsigned previousCodePage_ = 0;  // 0: nothing to give back
};

}  // namespace platform
