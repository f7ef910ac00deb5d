#include "http/report_access.h"

#include <cstdio>

#include "common/access_key.h"
#include "common/ascii.h"
#include "common/constant_time.h"
#include "common/diagnostic_log.h"

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
  NoteRefusal(client, verdict == Verdict::kWrongKey ? "wrong access key" : "no access key");
}

void ReportAccess::NoteRefusal(const ClientAddress& client, std::string_view reason) {
  ++refusals_;
  std::size_t unlogged = 0;
  char line[160];
  if (TakeLogTurn(client.Packed(), unlogged)) {
    char address[16];
    client.Format(address);
    std::snprintf(line, sizeof line, "Report refused from %s: %.*s", address,
                  static_cast<int>(reason.size()), reason.data());
    log_.WriteLogLine(line);
  }
  if (unlogged != 0) {
    std::snprintf(line, sizeof line, "and %zu more addresses refused", unlogged);
    log_.WriteLogLine(line);
  }
}

bool ReportAccess::TakeLogTurn(std::uint32_t address, std::size_t& unlogged) {
  const std::uint32_t now = ticks_();
  std::lock_guard guard(lock_);
  if (unlogged_ != 0 && now - unloggedSinceTick_ >= kLogIntervalMs) {
    unlogged = unlogged_;
    unlogged_ = 0;
    unloggedSeen_.fill(0);
  }
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
  if (freePlace == nullptr) {
    const std::size_t bit = (address * 0x9E3779B1u) % kUnloggedBits;
    std::uint64_t& word = unloggedSeen_[bit / 64];
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    if ((word & mask) == 0) {
      if (unlogged_ == 0) unloggedSinceTick_ = now;
      word |= mask;
      ++unlogged_;
    }
    return false;
  }
  *freePlace = {address, now, true};
  return true;
}
