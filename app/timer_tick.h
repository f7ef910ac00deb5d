// The dialog's 200 ms tick while the server runs: silent pointers, the
// selected one's live status and the server's statistics. The cursor has a
// tick of its own (CursorControl::Tick).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "app/dialog_state.h"
#include "app/live_status_refresh.h"
#include "pointer/live_status.h"
#include "server/server_stats.h"

// The protocol's side of the tick (PointerProtocol in the program).
class PointerStatusSource {
 public:
  virtual ~PointerStatusSource() = default;
  // Marks pointers silent for more than a second and the selected one, if
  // silent, as off screen. True when the selected pointer is silent.
  virtual bool MarkSilentPointers(std::uint32_t now) = 0;
  virtual LiveStatus ReadLiveStatus() = 0;
};

// The server's statistics (the engine in the program).
class StatisticsSource {
 public:
  virtual ~StatisticsSource() = default;
  virtual void GetStatistics(ServerStats& stats) = 0;
};

// Everything a tick reads and writes that is not its own.
struct TimerTickWiring {
  std::function<std::uint32_t()> tickCount;
  PointerStatusSource& pointers;
  StatisticsSource& statistics;
  DialogState& state;  // what the dialog shows
};

// One object for the program: its state lives from program start to end and
// is not reset by stopping or starting the server.
class TimerTick {
 public:
  explicit TimerTick(TimerTickWiring wiring) : wiring_(std::move(wiring)) {}

  void Run();

 private:
  TimerTickWiring wiring_;
  LiveStatusRefresh liveStatusRefresh_;
};
