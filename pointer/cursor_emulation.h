// Moves the system cursor to the selected pointer and presses or releases the
// mouse buttons as its buttons change, report by report. The events go out
// on a thread of its own, so that no phone waits for the system's input: a
// client thread leaves its report in a small mailbox and goes on.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/thread.h"
#include "pointer/mouse_and_keys.h"

// One report the cursor follows. The cursor's owner numbers them in the
// order it took them, so that reports of one pointer that arrive on two
// connections at once are still followed in that order.
struct CursorTarget {
  std::uint64_t sequence = 0;  // 0: nothing to follow
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t buttonL = 0;
  std::int32_t buttonR = 0;
};

// Flags of the one absolute mouse event that moves to the pointer and carries
// the button changes from the previous states to the current ones.
std::uint32_t CursorEmulationFlags(std::int32_t previousButtonL, std::int32_t previousButtonR,
                                   std::int32_t buttonL, std::int32_t buttonR);

// The buttons the system was last told are down, as bits.
inline constexpr unsigned kHeldLeft = 1;
inline constexpr unsigned kHeldRight = 2;

// The system's side of the cursor: it sends what CursorControl decides.
// The switch is CursorControl's.
class CursorEmulation {
 public:
  // Told the buttons held (kHeldLeft, kHeldRight) each time they change,
  // right after the event that changed them: on the emulation's thread,
  // with no lock held, so it may write a file; never on a report's path.
  using HeldListener = std::function<void(unsigned held)>;

  CursorEmulation(MouseAndKeys& input, const std::atomic<bool>& emulationSwitch,
                  HeldListener heldChanged = {});
  // Reports not yet sent are dropped; the buttons held go up.
  ~CursorEmulation();
  CursorEmulation(const CursorEmulation&) = delete;
  CursorEmulation& operator=(const CursorEmulation&) = delete;

  // False when the system gave no thread for the emulation: the cursor then
  // follows nothing, and the switch alone does not make it.
  bool Running() const { return running_; }
  // Every report is sent, in sequence order, each with the button changes
  // since the one before: a press and its release both reach the system. A
  // report that only moves is replaced by a newer one still waiting behind
  // it, and one older than a report already sent is dropped.
  // Returns without waiting for the system's input.
  void Follow(const CursorTarget& target);
  // The buttons held go up where the cursor is, whether emulation is on or
  // not; reports numbered before the release still go out before it, none
  // numbered up to it after it. Returns without waiting.
  void ReleaseButtons(std::uint64_t sequence);
  // True from an event the system refused (the display's connection broke)
  // until one it takes again.
  bool DisplayLost() const { return displayLost_; }
  // kHeldLeft and kHeldRight: the buttons this program holds down in the
  // system now (pressed, or not known to have gone up). Any thread may ask.
  unsigned HeldButtons() const { return held_.load(std::memory_order_relaxed); }

 private:
  // Reports waiting: only button changes pile up while the system's input is slow.
  static constexpr std::size_t kWaitingCapacity = 64;
  static constexpr std::size_t kNoRelease = kWaitingCapacity + 1;
  using Batch = std::array<CursorTarget, kWaitingCapacity>;

  void Insert(const CursorTarget& target);
  bool OnlyMoves(std::size_t index) const;
  bool ReleaseBetween(const CursorTarget& earlier, const CursorTarget& later) const;
  static std::size_t PlaceOf(std::uint64_t release, const Batch& batch, std::size_t count);
  static unsigned RunThread(void* self);
  void Run();
  void Send(const CursorTarget& target);
  bool SendRelease();
  bool Emit(std::uint32_t flags, std::int32_t x, std::int32_t y);
  void PublishHeld();

  MouseAndKeys& input_;
  const std::atomic<bool>& switch_;

  // The mailbox; its lock is never held across the system's input.
  std::mutex lock_;
  std::condition_variable wake_;
  Batch waiting_{};
  std::size_t waitingCount_ = 0;
  CursorTarget lastTaken_;  // the newest report the thread has taken
  bool releaseWanted_ = false;
  std::uint64_t firstRelease_ = 0;  // sequence numbers of the releases asked for
  std::uint64_t lastRelease_ = 0;
  bool ending_ = false;

  // The emulation thread's own: the button states the system was last given.
  // They outlive a pause of the emulation; only ReleaseButtons lets them go.
  std::int32_t previousButtonL_ = 0;
  std::int32_t previousButtonR_ = 0;
  // An event failed (the display's connection broke): the system may still
  // hold the buttons above, so the next connection releases them first.
  bool sendFailed_ = false;
  std::atomic<bool> displayLost_{false};
  std::atomic<unsigned> held_{0};  // the previous buttons, for other threads
  HeldListener heldChanged_;

  platform::Thread thread_;  // started once everything above is ready
  bool running_ = false;
};
