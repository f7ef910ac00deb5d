// Who may report. With the class's access key set, a pointer report counts
// only when its request carries the cookie TVXKey with that key; strangers on
// the same network can then neither report as a pointer nor take its
// commands. Refused reports are counted, and the diagnostic log hears of each
// client at most once a minute, so that a refused phone that keeps trying
// cannot flood it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "common/client_address.h"

class DiagnosticLog;

class ReportAccess {
 public:
  using TickSource = std::function<std::uint32_t()>;

  enum class Verdict {
    kAdmitted,    // no key set, or the request carries it
    kMissingKey,  // the request has no TVXKey cookie
    kWrongKey,    // it has one, but not with the key
  };

  explicit ReportAccess(DiagnosticLog& log, TickSource ticks = platform::TickCount);

  // Before client threads run. Empty: every report counts.
  void SetKey(std::string key) { key_ = std::move(key); }
  const std::string& Key() const { return key_; }

  // Looks through every Cookie line of the request; allocates nothing.
  Verdict Check(std::string_view request) const;
  // Counts a refused report; logs it unless this client's last line is less
  // than a minute old.
  void NoteRefusal(const ClientAddress& client, Verdict verdict);
  std::uint64_t Refusals() const { return refusals_.load(); }

 private:
  static constexpr std::uint32_t kLogIntervalMs = 60000;
  // Clients whose refusal was logged lately. More clients than this in one
  // minute go unlogged until a place falls free: the limit is what counts.
  static constexpr std::size_t kRememberedClients = 64;

  struct LoggedClient {
    std::uint32_t address = 0;
    std::uint32_t tick = 0;
    bool used = false;
  };

  bool TakeLogTurn(std::uint32_t address);

  DiagnosticLog& log_;
  TickSource ticks_;
  std::string key_;
  std::atomic<std::uint64_t> refusals_{0};
  std::mutex lock_;  // guards loggedClients_; never held while logging
  std::array<LoggedClient, kRememberedClients> loggedClients_{};
};
