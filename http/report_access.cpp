#include "http/report_access.h"

#include <cstdio>

#include "common/access_key.h"
#include "common/constant_time.h"
#include "common/diagnostic_log.h"
#include "http/ascii.h"

namespace {

constexpr std::string_view kCookieHeader = "cookie:";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

ReportAccess::ReportAccess(DiagnosticLog& log, TickSource ticks)
    : log_(log), ticks_(std::move(ticks)) {}

ReportAccess::Verdict ReportAccess::Check(std::string_view request) const {
  if (key_.empty()) return Verdict::kAdmitted;
  Verdict verdict = Verdict::kMissingKey;
  // Header lines follow the request line and end at the first empty one.
  std::size_t lineStart = request.find('\n');
  while (lineStart != std::string_view::npos) {
    ++lineStart;
    const std::size_t lineEnd = request.find('\n', lineStart);
    std::string_view line =
        request.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                    : lineEnd - lineStart);
    if (Trimmed(line).empty()) break;
    if (StartsWithIgnoringCase(line, kCookieHeader)) {
      line.remove_prefix(kCookieHeader.size());
      while (!line.empty()) {
        const std::size_t semicolon = line.find(';');
        const std::string_view pair = Trimmed(line.substr(0, semicolon));
        line.remove_prefix(semicolon == std::string_view::npos ? line.size() : semicolon + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos || pair.substr(0, equals) != kAccessKeyCookieName)
          continue;
        if (ConstantTimeEquals(pair.substr(equals + 1), key_)) return Verdict::kAdmitted;
        verdict = Verdict::kWrongKey;
      }
    }
    lineStart = lineEnd;
  }
  return verdict;
}

void ReportAccess::NoteRefusal(const ClientAddress& client, Verdict verdict) {
  ++refusals_;
  if (!TakeLogTurn(client.Packed())) return;
  char address[16];
  client.Format(address);
  char line[96];
  std::snprintf(line, sizeof line, "Report refused from %s: %s", address,
                verdict == Verdict::kWrongKey ? "wrong access key" : "no access key");
  log_.WriteLogLine(line);
}

bool ReportAccess::TakeLogTurn(std::uint32_t address) {
  const std::uint32_t now = ticks_();
  std::lock_guard guard(lock_);
  LoggedClient* freePlace = nullptr;
  for (LoggedClient& logged : loggedClients_) {
    const bool stale = !logged.used || now - logged.tick >= kLogIntervalMs;
    if (logged.used && logged.address == address) {
      if (!stale) return false;
      logged.tick = now;
      return true;
    }
    if (stale && freePlace == nullptr) freePlace = &logged;
  }
  if (freePlace == nullptr) return false;
  *freePlace = {address, now, true};
  return true;
}
