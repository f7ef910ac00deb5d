// How setting values are read from their text in both programs' INI files.
#pragma once

#include <string_view>

// A boolean setting is off only when its text, upper-cased, is "FALSE".
bool IsBooleanTextOn(std::string_view text);

// A setting that asks the program to work its value out: "auto" in any case.
bool IsAutoText(std::string_view text);

// Parses the decimal number at the start of text ("12abc" gives 12). Leaves
// value untouched and returns false when the text does not start with one.
bool ParseLeadingInteger(std::string_view text, int& value);
