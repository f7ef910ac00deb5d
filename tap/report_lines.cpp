#include "tap/report_lines.h"

#include <cstdio>

namespace {

std::size_t Clamp(int written, std::size_t size) {
  if (written < 0) return 0;
  return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written) : size - 1;
}

}  // namespace

std::size_t FormatReportText(const tvxhdv_report& report, char* buffer, std::size_t size) {
  const int written = std::snprintf(
      buffer, size, "pointer=%u frame=%u screen=%u x=%u y=%u flags=0x%04X left=%d right=%d\n",
      report.pointer, report.frame, report.screen, report.x, report.y, report.flags, report.left,
      report.right);
  return Clamp(written, size);
}

std::size_t FormatReportJson(const tvxhdv_report& report, char* buffer, std::size_t size) {
  static const char* const kBoolean[] = {"false", "true"};
  const int written = std::snprintf(
      buffer, size,
      "{\"pointer\":%u,\"frame\":%u,\"screen\":%u,\"x\":%u,\"y\":%u,\"flags\":%u,"
      "\"left\":%s,\"right\":%s,\"on_pad\":%s}\n",
      report.pointer, report.frame, report.screen, report.x, report.y, report.flags,
      kBoolean[report.left != 0], kBoolean[report.right != 0], kBoolean[report.on_pad != 0]);
  return Clamp(written, size);
}
