// Cursor emulation without a display: the dialog's tests set what it reports
// and see the flags of the events the emulation's thread sent.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "pointer/mouse_and_keys.h"

class FakeMouse : public MouseAndKeys {
 public:
  bool available = false;
  bool IsAvailable() override { return available; }
  bool IsCtrlHeld() override { return ctrl; }
  bool IsShiftHeld() override { return shift; }
  bool ctrl = false;
  bool shift = false;
  const char* EmulationLimit() override { return limit; }
  const char* limit = nullptr;
  std::vector<platform::Monitor> Monitors() override { return monitors; }
  void SetCursorArea(const std::optional<platform::ScreenRect>& newArea) override {
    area = newArea;
  }
  std::vector<platform::Monitor> monitors;
  std::atomic<bool> failing{false};  // as a display whose connection broke
  std::optional<platform::ScreenRect> area;
  bool SendMouseEvent(std::uint32_t flags, std::int32_t, std::int32_t) override {
    std::lock_guard guard(lock_);
    sentFlags_.push_back(flags);
    sent_.notify_all();
    return !failing;
  }

  // The flags sent once count events have come (or what came within 5 s).
  std::vector<std::uint32_t> SentFlags(std::size_t count) {
    std::unique_lock guard(lock_);
    sent_.wait_for(guard, std::chrono::seconds(5), [&] { return sentFlags_.size() >= count; });
    return sentFlags_;
  }

 private:
  std::mutex lock_;
  std::condition_variable sent_;
  std::vector<std::uint32_t> sentFlags_;
};
