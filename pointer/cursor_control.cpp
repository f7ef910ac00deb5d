#include "pointer/cursor_control.h"

#include <utility>

CursorControl::CursorControl(MouseAndKeys& input, const std::atomic<int>& selectedPointer,
                             TickSource tickCount, CursorEmulation::HeldListener heldChanged)
    : input_(input),
      selectedPointer_(selectedPointer),
      tickCount_(std::move(tickCount)),
      emulation_(input, on_, std::move(heldChanged)) {}

CursorControl::Refusal CursorControl::SwitchOn() {
  if (!emulation_.Running()) return Refusal::kNoThread;
  if (!input_.IsAvailable()) return Refusal::kNoDisplay;
  on_ = true;
  return Refusal::kNone;
}

void CursorControl::SwitchOff() {
  on_ = false;
  Release();
}

CursorTarget CursorControl::Aim(int pointer, const LiveStatus& status, bool fresh, bool selected,
                                std::uint32_t now) {
  if (!IsValidPointer(pointer)) return {};
  std::lock_guard guard(lock_);
  heard_[pointer] = {status, now, true};
  if (!selected || !fresh || !on_) return {};
  followedSinceTick_ = true;
  return Next(status);
}

// Numbered under the lock, in the order the reports were taken.
CursorTarget CursorControl::Next(const LiveStatus& status) {
  return {++sequence_, status.x, status.y, status.buttonL, status.buttonR};
}

void CursorControl::Follow(const CursorTarget& target) {
  if (target.sequence != 0) emulation_.Follow(target);
}

// The put-back needs no word of it: it goes by the report's age.
void CursorControl::FellSilent(int pointer) {
  if (pointer == selectedPointer_) Release();
}

void CursorControl::Release() {
  std::uint64_t sequence = 0;
  {
    std::lock_guard guard(lock_);
    sequence = ++sequence_;
    followedSinceTick_ = false;
  }
  emulation_.ReleaseButtons(sequence);
}

bool CursorControl::Tick() {
  if (input_.IsCtrlHeld() && input_.IsShiftHeld()) {
    const bool wasOn = on_;
    SwitchOff();
    return wasOn;
  }
  Hold();
  return false;
}

void CursorControl::Hold() {
  const int selected = selectedPointer_;
  if (!IsValidPointer(selected)) return;
  CursorTarget target;
  {
    std::lock_guard guard(lock_);
    const bool followed = followedSinceTick_;
    followedSinceTick_ = false;
    const Heard& heard = heard_[selected];
    // The time is read under the lock, so that no report is stamped after it.
    if (followed || !on_ || !heard.reported || tickCount_() - heard.tick > kSilenceMs) return;
    target = Next(heard.status);
  }
  emulation_.Follow(target);
}
