#include "app/timer_tick.h"

void TimerTick::Run() {
  NoteEmergencyChord();
  const std::uint32_t now = wiring_.tickCount();
  DialogState& state = wiring_.state;
  if (wiring_.pointers.MarkSilentPointers(now)) state.live.offScreen = true;
  HonourEmergencyRequest();
  if (wiring_.cursorEmulationSwitch) wiring_.pointers.HoldCursor();

  liveStatusRefresh_.ShowPointer(wiring_.pointers.ReadLiveStatus(), state.live);

  ServerStats stats;
  wiring_.statistics.GetStatistics(stats);
  liveStatusRefresh_.ShowTotals(stats, state.statistics);
  liveStatusRefresh_.ShowRequestsPerSecond(stats.requests, wiring_.tickCount(), state.statistics);
}

// Ctrl and Shift held together take the cursor back from a runaway phone.
void TimerTick::NoteEmergencyChord() {
  if (wiring_.input.IsCtrlHeld() && wiring_.input.IsShiftHeld()) emergencyRequest_ = 1;
}

// Only the operator switches emulation on again.
void TimerTick::HonourEmergencyRequest() {
  if (emergencyRequest_ != 1) return;
  emergencyRequest_ = 0;
  wiring_.cursorEmulationSwitch = false;
  wiring_.state.cursorEmulation = false;
  wiring_.pointers.ReleaseCursor();
}
