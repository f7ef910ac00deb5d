// How TVXTap writes a pointer report: one line of text or of JSON.
#pragma once

#include <cstddef>

#include "pointer/shared_memory_layout.h"

// Both write the line with its "\n" into buffer (at least 160 bytes) and
// return its length.
std::size_t FormatReportText(const PointerReportRecord& report, char* buffer, std::size_t size);
std::size_t FormatReportJson(const PointerReportRecord& report, char* buffer, std::size_t size);
