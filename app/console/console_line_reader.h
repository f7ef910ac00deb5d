// The console's input, line by line, each line at most a few kilobytes: a
// longer one is read to its end and dropped, so that no input makes the
// program hold more than one short line at a time.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

inline constexpr std::size_t kConsoleLineLimit = 4096;

enum class ConsoleLine { kLine, kTooLong, kEnd };

// kLine with the next line, without its line end, in `line`; kTooLong for a
// line of more than `limit` bytes (`line` is then empty); kEnd at the end of
// input. A last line without a line end is a line too.
ConsoleLine ReadConsoleLine(std::istream& in, std::string& line,
                            std::size_t limit = kConsoleLineLimit);
