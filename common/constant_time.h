// Comparing secrets without telling an observer, through the time the
// comparison takes, how much of a guess was right.
#pragma once

#include <string_view>

// True when both texts are equal. The time depends on the lengths only, never
// on where the first difference lies.
bool ConstantTimeEquals(std::string_view given, std::string_view secret);
