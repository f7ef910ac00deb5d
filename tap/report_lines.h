// How TVXTap writes a pointer report: one line of text or of JSON.
#pragma once

#include <cstddef>

#include "sdk/c/tvxhdv.h"

// Both write the line with its "\n" into buffer (at least 160 bytes) and
// return its length. The JSON line is one object with the kit's field names
// (tvxhdv_report): pointer, frame, screen, x, y and flags as numbers, left,
// right and on_pad as true or false.
std::size_t FormatReportText(const tvxhdv_report& report, char* buffer, std::size_t size);
std::size_t FormatReportJson(const tvxhdv_report& report, char* buffer, std::size_t size);
