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

#include "common/client_address.h"
#include "platform/clock.h"

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
  // The same for a report refused for another reason, given as the line's end.
  void NoteRefusal(const ClientAddress& client, std::string_view reason);
  std::uint64_t Refusals() const { return refusals_.load(); }

 private:
  static constexpr std::uint32_t kLogIntervalMs = 60000;
  // Clients whose refusal was logged lately. More clients than this in one
  // minute get no line of their own until a place falls free; how many they
  // were is logged once a minute instead ("and N more addresses refused").
  static constexpr std::size_t kRememberedClients = 64;
  // The unlogged clients are told apart by a bit each in this many: the
  // few that share a bit count once.
  static constexpr std::size_t kUnloggedBits = 8192;

  struct LoggedClient {
    std::uint32_t address = 0;
    std::uint32_t tick = 0;
    bool used = false;
  };

  // unlogged: set to the number of unlogged clients once their minute is over.
  bool TakeLogTurn(std::uint32_t address, std::size_t& unlogged);

  DiagnosticLog& log_;
  TickSource ticks_;
  std::string key_;
  std::atomic<std::uint64_t> refusals_{0};
  std::mutex lock_;  // guards loggedClients_; never held while logging
  std::array<LoggedClient, kRememberedClients> loggedClients_{};
  std::array<std::uint64_t, kUnloggedBits / 64> unloggedSeen_{};  // under lock_
  std::size_t unlogged_ = 0;                                      // under lock_
  std::uint32_t unloggedSinceTick_ = 0;                           // under lock_
};
