// A pointer protocol as the program sets it up: pointer 3 selected and a
// clock the test moves.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "common/diagnostic_log.h"
#include "pointer/pointer_protocol.h"
#include "tests/support/temp_folder.h"

struct ProtocolRig {
  // A fresh report of pointer at (x, y) with the buttons given.
  void Report(int pointer, int x, int buttonL, int buttonR, int frame = 1, int y = 0x1000) {
    char path[64];
    std::snprintf(path, sizeof path, "/tolvex100%02X%04X%04X%04X%d%d0200", pointer, frame, x, y,
                  buttonL, buttonR);
    protocol.HandlePointerReport(path);
  }

  TempFolder folder;
  DiagnosticLog log{folder.File("Test.LOG")};
  std::atomic<int> selectedPointer{3};
  int logLevel = 0;
  std::atomic<std::uint32_t> now{5000};
  PointerProtocol protocol{{selectedPointer, logLevel}, log, [this] { return now.load(); }};
};
