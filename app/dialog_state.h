// What the operator's side shows: one snapshot that MainDialog keeps and
// every front end renders in its own way. Texts are as the dialog shows them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/screen.h"
#include "pointer/pointer_protocol.h"

struct DialogStatistics {
  std::string activeConnections = "0";
  std::string kbReceived = "0";
  std::string kbSent = "0";
  std::string requests = "0";
  std::string requestsPerSecond = "0";  // keeps its text until a second has been sampled
  std::string visitors = "0";
};

// The selected pointer as the last tick saw it.
struct DialogLiveStatus {
  std::string x = "0";
  std::string y = "0";
  bool buttonL = false;
  bool buttonR = false;
  bool offScreen = false;
};

struct DialogState {
  bool running = false;
  std::string statusText = "Idle...";
  DialogStatistics statistics;
  DialogLiveStatus live;
  int selectedPointer = 0;
  bool cursorEmulation = false;
  bool showPointers = false;  // the overlay of every pointer over the screen
  PointerLabels labels = kDefaultPointerLabels;
  // Each pointer as the views name it, "17" or "17 Mia"; labelsChanged
  // counts their changes, so that a window rewrites its list only then.
  // Names are children's names: views show them and never write them.
  std::array<std::string, kPointerCount> pointerLabels{};
  unsigned labelsChanged = 0;
  std::string cursorScreen = "primary";  // CursorScreenText of the choice
  // That part in desktop pixels, where the pointer overlay lies; empty
  // while the monitors are not known.
  std::optional<platform::ScreenRect> cursorScreenArea;

  // The settings fields. A window writes them into its edit fields only when
  // fieldsPushed has changed since it last did, so that a tick never
  // overwrites what the operator is typing.
  ServerFields fields;
  unsigned fieldsPushed = 0;

  // The two lines at the bottom, and the address their click shows as a QR
  // code (empty while phones have none).
  std::string phoneAddressText = "The server is starting.";
  std::string clickableAddress;

  // Read afresh by MainDialog::State(): the pointers that reported in the
  // last second (with those two phones report on) and, with an access key,
  // the reports refused for the lack of it.
  std::vector<ReportingPointer> reportingPointers;
  bool hasAccessKey = false;
  std::uint64_t refusedReports = 0;
};
