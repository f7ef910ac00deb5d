#include "app/console/console_line_reader.h"

ConsoleLine ReadConsoleLine(std::istream& in, std::string& line, std::size_t limit) {
  using Traits = std::istream::traits_type;
  line.clear();
  std::streambuf* input = in.rdbuf();
  bool any = false;
  bool tooLong = false;
  for (int c = input->sbumpc(); !Traits::eq_int_type(c, Traits::eof()); c = input->sbumpc()) {
    any = true;
    if (c == '\n') break;
    if (line.size() < limit) {
      line += Traits::to_char_type(c);
    } else {
      tooLong = true;
    }
  }
  if (!any) return ConsoleLine::kEnd;
  if (!tooLong) return ConsoleLine::kLine;
  line.clear();
  return ConsoleLine::kTooLong;
}
