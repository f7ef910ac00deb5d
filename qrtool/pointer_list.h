// The pointer numbers Codeplate makes a code for, written as a list such as
// "0-29" or "3,5,7-9".
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct PointerList {
  bool valid = true;
  std::vector<int> pointers;  // ascending, each number once
  std::string badItem;        // the first item that is not a number or range, when invalid
};

// Items are separated by commas; each is a pointer number or a range N-M with
// N not above M, blanks around them allowed. An empty or blank text is the
// empty list. A number outside 0 to 79, a reversed range or any other text
// makes the whole list invalid.
PointerList ParsePointerList(std::string_view text);
