// How TVXTap writes a pointer report: one line of text or of JSON.
#pragma once

#include <cstddef>
#include <string_view>

#include "sdk/c/tvxhdv.h"

// Room for a line, a name's escapes included.
inline constexpr std::size_t kReportLineSize = 160 + 6 * TVXHDV_NAME_MAX;

// Both write the line with its "\n" into buffer (kReportLineSize bytes) and
// return its length. The JSON line is one object with the kit's field names
// (tvxhdv_report): pointer, frame, screen, x, y and flags as numbers, left,
// right and on_pad as true or false. A pointer's name, when it has one, ends
// the line: name="..." in the text, "name":"..." in JSON, quotes and
// backslashes escaped; a line without one is as it always was.
std::size_t FormatReportText(const tvxhdv_report& report, std::string_view name, char* buffer,
                             std::size_t size);
std::size_t FormatReportJson(const tvxhdv_report& report, std::string_view name, char* buffer,
                             std::size_t size);
