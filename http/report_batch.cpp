#include "http/report_batch.h"

#include <cstdio>
#include <cstring>

#include "common/pointer_limits.h"
#include "pointer/pointer_report.h"

namespace {

constexpr std::string_view kBatchRoute = "/batch";
constexpr std::string_view kReportRoute = "/tolvex";
constexpr int kPointerOffset = 3;  // of a report's characters
constexpr int kPointerDigits = 2;
static_assert(kReportRoute.size() + kBatchReportLength == kPointerReportLength);

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool Refuse(ReportBatch& batch, BatchFault fault, std::size_t report) {
  batch.fault = fault;
  batch.faultyReport = report;
  return false;
}

BatchFault CheckReport(std::string_view report) {
  for (const char c : report) {
    if (!IsHexDigit(c)) return BatchFault::kNotHex;
  }
  const std::uint32_t pointer = DecodeHexField(report, kPointerOffset, kPointerDigits);
  return IsValidPointer(static_cast<int>(pointer)) ? BatchFault::kNone : BatchFault::kNoSuchPointer;
}

}  // namespace

bool IsBatchRoute(std::string_view routingPath) {
  if (!routingPath.starts_with(kBatchRoute)) return false;
  const std::string_view rest = routingPath.substr(kBatchRoute.size());
  return rest.empty() || rest.front() == '/' || rest.front() == '?';
}

bool ParseReportBatch(std::string_view routingPath, ReportBatch& batch) {
  batch = ReportBatch{};
  std::string_view rest = routingPath.substr(kBatchRoute.size());
  rest = rest.substr(0, rest.find('?'));
  if (rest.empty() || rest == "/") return Refuse(batch, BatchFault::kEmpty, 0);
  while (!rest.empty()) {
    // Every report follows a '/': the route's own or its predecessor's.
    rest.remove_prefix(1);
    if (batch.count == kMaxBatchReports) return Refuse(batch, BatchFault::kTooMany, 0);
    const std::size_t number = batch.count + 1;
    const std::size_t end = rest.find('/');
    const std::string_view report = rest.substr(0, end);
    if (report.size() < kBatchReportLength) return Refuse(batch, BatchFault::kWrongLength, number);
    if (report.size() > kBatchReportLength) return Refuse(batch, BatchFault::kNoSeparator, number);
    if (const BatchFault fault = CheckReport(report); fault != BatchFault::kNone)
      return Refuse(batch, fault, number);
    batch.reports[batch.count++] = report;
    rest.remove_prefix(report.size());
  }
  return true;
}

std::size_t FormatBatchFault(const ReportBatch& batch, char* out, std::size_t size) {
  const auto report = static_cast<unsigned>(batch.faultyReport);
  int length = 0;
  switch (batch.fault) {
    case BatchFault::kNone:
      break;
    case BatchFault::kEmpty:
      length = std::snprintf(out, size, "Bad batch: no reports\n");
      break;
    case BatchFault::kTooMany:
      length = std::snprintf(out, size, "Bad batch: more than %u reports\n",
                             static_cast<unsigned>(kMaxBatchReports));
      break;
    case BatchFault::kWrongLength:
      length = std::snprintf(out, size, "Bad batch: report %u is shorter than %u characters\n",
                             report, static_cast<unsigned>(kBatchReportLength));
      break;
    case BatchFault::kNoSeparator:
      length = std::snprintf(out, size, "Bad batch: report %u has no '/' after %u characters\n",
                             report, static_cast<unsigned>(kBatchReportLength));
      break;
    case BatchFault::kNotHex:
      length = std::snprintf(out, size,
                             "Bad batch: report %u has a character that is no hex digit\n", report);
      break;
    case BatchFault::kNoSuchPointer:
      length =
          std::snprintf(out, size, "Bad batch: report %u has a pointer number above 79\n", report);
      break;
  }
  if (length <= 0) return 0;
  return static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length) : size - 1;
}

ResponseText ForwardReportBatch(const ReportBatch& batch, PointerReportHandler& handler,
                                std::uint32_t peerAddress) {
  char path[kPointerReportLength];
  std::memcpy(path, kReportRoute.data(), kReportRoute.size());
  ResponseText response = kNoCommandResponse;
  for (std::size_t i = 0; i < batch.count; ++i) {
    std::memcpy(path + kReportRoute.size(), batch.reports[i].data(), kBatchReportLength);
    const std::string_view report(path, sizeof path);
    const bool answered = i + 1 == batch.count;
    const ResponseText reply = handler.HandleBatchedReport(report, peerAddress, answered);
    if (answered) response = reply;
  }
  return response;
}
