// CursorScreen under [Control]: the part of the desktop that the phone's pad
// covers, and that part's pixel rectangle for whoever needs it (cursor
// emulation, a window over it).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/screen.h"

struct CursorScreen {
  enum class Kind { kPrimary, kAll, kMonitor };
  Kind kind = Kind::kPrimary;
  int monitor = 0;  // kMonitor: 1 to N as MonitorsAsSeen numbers them
  bool operator==(const CursorScreen&) const = default;
};

// "", "primary", "all" (any letter case) or a monitor number from 1; empty
// for anything else.
std::optional<CursorScreen> ParseCursorScreen(std::string_view text);
// As stored and shown: "primary", "all" or the number.
std::string CursorScreenText(const CursorScreen& screen);

// Left to right, then top to bottom, as a person sees them: monitor 1 first.
std::vector<platform::Monitor> MonitorsAsSeen(std::vector<platform::Monitor> monitors);

struct CursorArea {
  // Empty (monitors not known yet): the system's own mapping.
  std::optional<platform::ScreenRect> rect;
  bool missingMonitor = false;  // the chosen monitor is gone: the primary instead
};

// The chosen part in desktop pixels, among monitors as MonitorsAsSeen gives
// them. Without a list (not known yet) it is the primary.
CursorArea ChooseCursorArea(const CursorScreen& screen,
                            const std::vector<platform::Monitor>& monitors);

// The rectangle the pad covers among monitors as MonitorsAsSeen gives them
// (ChooseCursorArea's); empty without a list.
std::optional<platform::ScreenRect> CoveredRect(const CursorScreen& screen,
                                                const std::vector<platform::Monitor>& monitors);

// The chosen part's rectangle on this desktop now; empty while the monitors
// are not known.
std::optional<platform::ScreenRect> CursorScreenRect(const CursorScreen& screen);

// What a window's menu offers: the primary, each monitor as MonitorsAsSeen
// numbers them ("Monitor 2 (1920x1080 at 1280,0)"), all of them; the
// current choice chosen.
struct CursorScreenChoice {
  CursorScreen screen;
  std::string caption;
  bool chosen = false;
};
std::vector<CursorScreenChoice> CursorScreenChoices(const CursorScreen& current,
                                                    const std::vector<platform::Monitor>& monitors);
