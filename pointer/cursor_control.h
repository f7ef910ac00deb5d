// The one owner of the PC's cursor: whether phones drive it, which report it
// follows, the tick's put-back, and every way the selected phone loses it.
// The report protocol tells it what came in and who fell silent; the dialog
// and its tick switch, release and hold; nothing else decides about buttons.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "common/pointer_limits.h"
#include "pointer/cursor_emulation.h"
#include "pointer/live_status.h"
#include "pointer/mouse_and_keys.h"

class CursorControl {
 public:
  using TickSource = std::function<std::uint32_t()>;

  // Why emulation could not be switched on.
  enum class Refusal { kNone, kNoThread, kNoDisplay };

  // selectedPointer: the settings record's, changed by the dialog while
  // reports come in. heldChanged: as CursorEmulation's.
  CursorControl(MouseAndKeys& input, const std::atomic<int>& selectedPointer, TickSource tickCount,
                CursorEmulation::HeldListener heldChanged = {});
  CursorControl(const CursorControl&) = delete;
  CursorControl& operator=(const CursorControl&) = delete;

  // Emulation on: the selected pointer's fresh reports move the cursor. Off
  // lets go of the buttons held. Only the operator switches it on.
  Refusal SwitchOn();
  void SwitchOff();
  bool IsOn() const { return on_; }
  // Null, or why the events reach only part of the desktop.
  const char* EmulationLimit() { return input_.EmulationLimit(); }
  // True from an event the system refused until one it takes again.
  bool DisplayLost() const { return emulation_.DisplayLost(); }
  // kHeldLeft and kHeldRight: the buttons held down in the system now.
  unsigned HeldButtons() const { return emulation_.HeldButtons(); }

  // A report of pointer, as the protocol took it under its lock (selected:
  // whether it was the selected pointer then). The target to follow, or one
  // with sequence 0; the protocol hands it to Follow once its lock is free.
  CursorTarget Aim(int pointer, const LiveStatus& status, bool fresh, bool selected,
                   std::uint32_t now);
  void Follow(const CursorTarget& target);
  // The selected pointer has been silent for a second: it lets go.
  void FellSilent(int pointer);

  // The selected phone loses the cursor (another selection, the server
  // stopped, the program ends): the buttons it held go up, and reports
  // taken before this moment are not followed any more.
  void Release();
  // The dialog's tick. Ctrl and Shift held together switch emulation off
  // (true when it was on). Otherwise, with emulation on and no report of the
  // selected pointer followed since the last tick, its last report is sent
  // once more, so that the real mouse cannot take the cursor from a phone
  // that holds still; a silent pointer leaves the cursor where it is.
  bool Tick();

 private:
  // A pointer's last report, for the put-back.
  struct Heard {
    LiveStatus status;
    std::uint32_t tick = 0;
    bool reported = false;  // since the program started
  };

  void Hold();
  CursorTarget Next(const LiveStatus& status);

  MouseAndKeys& input_;
  const std::atomic<int>& selectedPointer_;
  TickSource tickCount_;
  std::atomic<bool> on_{false};

  std::mutex lock_;             // never held across the system's input
  std::uint64_t sequence_ = 0;  // of the last report followed or release asked for
  bool followedSinceTick_ = false;
  Heard heard_[kPointerCount];

  CursorEmulation emulation_;  // started last: it reads on_
};
