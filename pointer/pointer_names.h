// The names phones give their pointers ("Mia" for 17). These are often
// children's names: they live in this process's memory and the names area
// that consuming applications read, and nowhere else. Nothing here logs or
// writes a file, and callers must not either.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/pointer_limits.h"

class PointerNames {
 public:
  // Unicode characters (code points, counted after NFC).
  static constexpr int kMaxCharacters = 24;
  // Four bytes at most per character in UTF-8.
  static constexpr int kMaxBytes = 4 * kMaxCharacters;

  enum class Refusal { kNone, kTooLong, kControl, kBidi, kBadUtf8, kNotHolder, kBadNumber };

  // Told of every change (an empty name: cleared). Runs under the store's
  // lock, so changes reach it in order; it must neither block nor log.
  using Listener = std::function<void(int pointer, std::string_view name)>;

  // Checks utf8, trims the spaces around it, normalises it to NFC and keeps
  // it for pointer; an empty name clears. A refused name changes nothing.
  // mayName, when given, is asked under the store's lock: a number that
  // passes to another phone just before is not named (kNotHolder), and one
  // that passes just after has its name cleared after this one is kept.
  Refusal Set(int pointer, std::string_view utf8, const std::function<bool()>& mayName = nullptr);
  void Clear(int pointer);
  void ClearAll();
  std::string Get(int pointer) const;  // empty: none
  // Bumps on every change, so that views know to redraw.
  std::uint32_t Version() const { return version_.load(std::memory_order_acquire); }

  // The listener hears every name kept so far at once, then every change;
  // null: none.
  void SetListener(Listener listener);

 private:
  void Store(int pointer, std::string name);  // under mutex_

  mutable std::mutex mutex_;
  std::array<std::string, kPointerCount> names_;
  std::atomic<std::uint32_t> version_{0};
  Listener listener_;
};

// The short plain-text reason a phone is given for a refusal.
std::string_view RefusalReason(PointerNames::Refusal refusal);

// The refusal the name would get, and its trimmed NFC form in clean when none.
PointerNames::Refusal CleanName(std::string_view utf8, std::string& clean);
