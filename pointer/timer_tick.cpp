#include "pointer/timer_tick.h"

void TimerTick::Run() {
  NoteEmergencyChord();
  const std::uint32_t now = wiring_.tickCount();
  MarkSilentPointers(now);
  HonourEmergencyRequest();

  const LiveStatus status = wiring_.pointers.ReadLiveStatus();
  if (wiring_.cursorEmulationSwitch) cursorEmulation_.Step(status, wiring_.input);
  liveStatusRefresh_.ShowPointer(status, wiring_.view);

  ServerStats stats;
  wiring_.statistics.GetStatistics(stats);
  liveStatusRefresh_.ShowTotals(stats, wiring_.view);
  liveStatusRefresh_.ShowRequestsPerSecond(stats.requests, wiring_.tickCount(), wiring_.view);
  liveStatusRefresh_.ShowVisitors(stats, wiring_.view);
}

// Ctrl and Shift held together take the cursor back from a runaway phone.
void TimerTick::NoteEmergencyChord() {
  if (wiring_.input.IsCtrlHeld() && wiring_.input.IsShiftHeld()) emergencyRequest_ = 1;
}

void TimerTick::MarkSilentPointers(std::uint32_t now) {
  if (wiring_.pointers.MarkSilentPointers(now)) wiring_.view.ShowOffScreen(true);
}

// Only the operator switches emulation on again, with the check box.
void TimerTick::HonourEmergencyRequest() {
  if (emergencyRequest_ != 1) return;
  emergencyRequest_ = 0;
  wiring_.cursorEmulationSwitch = false;
  wiring_.view.ShowCursorEmulation(false);
}
