#include "tap/report_lines.h"

#include <cstdio>
#include <string>

namespace {

std::size_t Clamp(int written, std::size_t size) {
  if (written < 0) return 0;
  return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written) : size - 1;
}

// The name between double quotes as JSON writes a string; the text line
// uses the same form.
std::string Quoted(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

}  // namespace

std::size_t FormatReportText(const tvxhdv_report& report, std::string_view name, char* buffer,
                             std::size_t size) {
  const std::string named = name.empty() ? std::string() : " name=" + Quoted(name);
  const int written = std::snprintf(
      buffer, size, "pointer=%u frame=%u screen=%u x=%u y=%u flags=0x%04X left=%d right=%d%s\n",
      report.pointer, report.frame, report.screen, report.x, report.y, report.flags, report.left,
      report.right, named.c_str());
  return Clamp(written, size);
}

std::size_t FormatReportJson(const tvxhdv_report& report, std::string_view name, char* buffer,
                             std::size_t size) {
  static const char* const kBoolean[] = {"false", "true"};
  const std::string named = name.empty() ? std::string() : ",\"name\":" + Quoted(name);
  const int written =
      std::snprintf(buffer, size,
                    "{\"pointer\":%u,\"frame\":%u,\"screen\":%u,\"x\":%u,\"y\":%u,\"flags\":%u,"
                    "\"left\":%s,\"right\":%s,\"on_pad\":%s%s}\n",
                    report.pointer, report.frame, report.screen, report.x, report.y, report.flags,
                    kBoolean[report.left != 0], kBoolean[report.right != 0],
                    kBoolean[report.on_pad != 0], named.c_str());
  return Clamp(written, size);
}
