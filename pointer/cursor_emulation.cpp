#include "pointer/cursor_emulation.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr std::chrono::milliseconds kReleaseRetry{1000};

std::uint32_t ButtonChange(std::int32_t previous, std::int32_t current, std::uint32_t downFlag,
                           std::uint32_t upFlag) {
  const bool wasDown = previous != 0;
  const bool isDown = current != 0;
  if (!wasDown && isDown) return downFlag;
  if (wasDown && !isDown) return upFlag;
  return 0;
}

bool SameButtons(const CursorTarget& a, const CursorTarget& b) {
  return a.buttonL == b.buttonL && a.buttonR == b.buttonR;
}

}  // namespace

std::uint32_t CursorEmulationFlags(std::int32_t previousButtonL, std::int32_t previousButtonR,
                                   std::int32_t buttonL, std::int32_t buttonR) {
  return platform::kMouseAbsolute | platform::kMouseMove |
         ButtonChange(previousButtonL, buttonL, platform::kMouseLeftDown, platform::kMouseLeftUp) |
         ButtonChange(previousButtonR, buttonR, platform::kMouseRightDown, platform::kMouseRightUp);
}

CursorEmulation::CursorEmulation(MouseAndKeys& input, const std::atomic<bool>& emulationSwitch,
                                 HeldListener heldChanged)
    : input_(input), switch_(emulationSwitch), heldChanged_(std::move(heldChanged)) {
  running_ = static_cast<bool>(thread_.Start(RunThread, this));
}

CursorEmulation::~CursorEmulation() {
  if (!running_) return;
  {
    std::lock_guard guard(lock_);
    ending_ = true;
  }
  wake_.notify_one();
  thread_.WaitForEnd(-1);
}

unsigned CursorEmulation::RunThread(void* self) {
  static_cast<CursorEmulation*>(self)->Run();
  return 0;
}

// The first and the last release asked for since the thread last looked
// keep their places; one between them is covered by the last.
void CursorEmulation::ReleaseButtons(std::uint64_t sequence) {
  {
    std::lock_guard guard(lock_);
    if (!releaseWanted_) firstRelease_ = sequence;
    lastRelease_ = std::max(lastRelease_, sequence);
    releaseWanted_ = true;
  }
  wake_.notify_one();
}

void CursorEmulation::Follow(const CursorTarget& target) {
  {
    std::lock_guard guard(lock_);
    if (target.sequence <= lastTaken_.sequence) return;
    Insert(target);
  }
  wake_.notify_one();
}

// Reports come in sequence order but for a race between two connections of
// one pointer, so the place is nearly always the end.
void CursorEmulation::Insert(const CursorTarget& target) {
  std::size_t at = waitingCount_;
  while (at > 0 && waiting_[at - 1].sequence > target.sequence) --at;
  if (at == waitingCount_ && at > 0 && OnlyMoves(at - 1) && SameButtons(waiting_[at - 1], target) &&
      !ReleaseBetween(waiting_[at - 1], target)) {
    waiting_[at - 1] = target;
    return;
  }
  if (waitingCount_ == kWaitingCapacity) {
    // The system takes no input: the oldest change goes. The thread compares
    // with what it sent, so the buttons still end up as reported.
    if (at == 0) return;
    std::move(waiting_.begin() + 1, waiting_.begin() + waitingCount_, waiting_.begin());
    --waitingCount_;
    --at;
  }
  std::move_backward(waiting_.begin() + at, waiting_.begin() + waitingCount_,
                     waiting_.begin() + waitingCount_ + 1);
  waiting_[at] = target;
  ++waitingCount_;
}

// A waiting report whose buttons are those of the report before it, with no
// release between them.
bool CursorEmulation::OnlyMoves(std::size_t index) const {
  const CursorTarget& before = index > 0 ? waiting_[index - 1] : lastTaken_;
  return SameButtons(before, waiting_[index]) && !ReleaseBetween(before, waiting_[index]);
}

bool CursorEmulation::ReleaseBetween(const CursorTarget& earlier, const CursorTarget& later) const {
  return releaseWanted_ && earlier.sequence < lastRelease_ && later.sequence > firstRelease_;
}

// The index of the first report numbered after the release.
std::size_t CursorEmulation::PlaceOf(std::uint64_t release, const Batch& batch, std::size_t count) {
  std::size_t at = 0;
  while (at < count && batch[at].sequence < release) ++at;
  return at;
}

void CursorEmulation::Run() {
  Batch batch;
  for (;;) {
    std::size_t count = 0;
    // The releases go out before batch[firstAt] and batch[lastAt].
    std::size_t firstAt = kNoRelease;
    std::size_t lastAt = kNoRelease;
    {
      std::unique_lock guard(lock_);
      const auto woken = [this] { return ending_ || releaseWanted_ || waitingCount_ > 0; };
      if (!sendFailed_) {
        wake_.wait(guard, woken);
      } else if (!wake_.wait_for(guard, kReleaseRetry, woken)) {
        // The buttons are let go as soon as the display takes input again,
        // whether or not the phone reports meanwhile.
        guard.unlock();
        SendRelease();
        continue;
      }
      if (ending_) break;
      count = waitingCount_;
      std::copy_n(waiting_.begin(), count, batch.begin());
      waitingCount_ = 0;
      if (count > 0) lastTaken_ = batch[count - 1];
      if (releaseWanted_) {
        releaseWanted_ = false;
        firstAt = PlaceOf(firstRelease_, batch, count);
        lastAt = PlaceOf(lastRelease_, batch, count);
        // What the next report is compared with: the buttons let go.
        if (lastAt == count) lastTaken_ = {lastRelease_, lastTaken_.x, lastTaken_.y, 0, 0};
      }
    }
    for (std::size_t i = 0; i <= count; ++i) {
      if (i == firstAt || i == lastAt) SendRelease();
      if (i < count) Send(batch[i]);
    }
  }
  SendRelease();  // reports still waiting are dropped
}

// Switched off meanwhile (the Ctrl+Shift chord, say): nothing more goes out.
void CursorEmulation::Send(const CursorTarget& target) {
  if (!switch_) return;
  if (sendFailed_ && !SendRelease()) return;
  const std::uint32_t flags =
      CursorEmulationFlags(previousButtonL_, previousButtonR_, target.buttonL, target.buttonR);
  if (!Emit(flags, target.x, target.y)) {
    // Whether the presses got through is not known: they count as held.
    sendFailed_ = true;
    previousButtonL_ = previousButtonL_ != 0 || target.buttonL != 0;
    previousButtonR_ = previousButtonR_ != 0 || target.buttonR != 0;
    PublishHeld();
    return;
  }
  previousButtonL_ = target.buttonL;
  previousButtonR_ = target.buttonR;
  PublishHeld();
}

void CursorEmulation::PublishHeld() {
  const unsigned held =
      (previousButtonL_ != 0 ? kHeldLeft : 0u) | (previousButtonR_ != 0 ? kHeldRight : 0u);
  if (held_.exchange(held, std::memory_order_relaxed) != held && heldChanged_) heldChanged_(held);
}

// The buttons go up where the cursor is: the event carries no move. A phone
// that still holds one presses it again with its next report.
bool CursorEmulation::SendRelease() {
  const std::uint32_t flags = (previousButtonL_ != 0 ? platform::kMouseLeftUp : 0u) |
                              (previousButtonR_ != 0 ? platform::kMouseRightUp : 0u);
  if (flags != 0 && !Emit(flags, 0, 0)) {
    sendFailed_ = true;
    return false;
  }
  sendFailed_ = false;
  previousButtonL_ = 0;
  previousButtonR_ = 0;
  PublishHeld();
  return true;
}

bool CursorEmulation::Emit(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  const bool taken = input_.SendMouseEvent(flags, x, y);
  displayLost_ = !taken;
  return taken;
}
