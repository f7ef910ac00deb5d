// Numbers in the texts the dialog and the console show.
#pragma once

#include <string>

// At least two digits, 7 as "07": pointer numbers keep one width in a line.
inline std::string TwoDigits(int number) {
  std::string text = std::to_string(number);
  if (number >= 0 && number < 10) text.insert(0, 1, '0');
  return text;
}
