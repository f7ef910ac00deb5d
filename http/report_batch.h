// The batch route: "/batch/R1/R2/.../Rn" carries up to 32 pointer reports in
// one request, each Ri the 23 characters that follow "/tolvex" in a single
// report. On a slow link a phone sends the button changes it gathered while
// its last request was out, instead of only the latest state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pointer/pointer_report_handler.h"

inline constexpr std::size_t kBatchReportLength = 23;
inline constexpr std::size_t kMaxBatchReports = 32;

enum class BatchFault {
  kNone,
  kEmpty,         // no report at all
  kTooMany,       // more than kMaxBatchReports
  kWrongLength,   // a report shorter than kBatchReportLength
  kNoSeparator,   // a report's characters run on past kBatchReportLength
  kNotHex,        // a character that is no hexadecimal digit
  kNoSuchPointer  // a pointer number outside 0 to 79
};

struct ReportBatch {
  std::array<std::string_view, kMaxBatchReports> reports{};  // into the path
  std::size_t count = 0;
  BatchFault fault = BatchFault::kNone;
  std::size_t faultyReport = 0;  // counted from 1; 0 for faults of the whole
};

// "/batch" alone, or followed by '/' or '?': other paths that begin so are files.
bool IsBatchRoute(std::string_view routingPath);

// Splits a batch route's path (anything after a '?' ignored) into reports and
// checks every one of them. False with the fault set when any is wrong.
bool ParseReportBatch(std::string_view routingPath, ReportBatch& batch);

// The fault as a line for the phone's developer and the log; returns its
// length. out of 96 characters holds every one.
std::size_t FormatBatchFault(const ReportBatch& batch, char* out, std::size_t size);

// Hands the reports to the handler in order, each as a "/tolvex" path, and
// returns the last one's answer: only that one reaches the phone, so the
// earlier ones are told that theirs does not.
ResponseText ForwardReportBatch(const ReportBatch& batch, PointerReportHandler& handler,
                                std::uint32_t peerAddress);
