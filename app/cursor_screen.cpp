#include "app/cursor_screen.h"

#include <algorithm>
#include <cctype>

#include "common/ascii.h"

std::optional<CursorScreen> ParseCursorScreen(std::string_view text) {
  const std::string lower = AsciiLowered(text);
  if (lower.empty() || lower == "primary") return CursorScreen{};
  if (lower == "all") return CursorScreen{CursorScreen::Kind::kAll, 0};
  if (lower.size() > 3 || !std::all_of(lower.begin(), lower.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return std::nullopt;
  }
  const int number = std::stoi(lower);
  if (number < 1) return std::nullopt;
  return CursorScreen{CursorScreen::Kind::kMonitor, number};
}

std::string CursorScreenText(const CursorScreen& screen) {
  switch (screen.kind) {
    case CursorScreen::Kind::kAll:
      return "all";
    case CursorScreen::Kind::kMonitor:
      return std::to_string(screen.monitor);
    case CursorScreen::Kind::kPrimary:
      break;
  }
  return "primary";
}

std::vector<platform::Monitor> MonitorsAsSeen(std::vector<platform::Monitor> monitors) {
  std::stable_sort(monitors.begin(), monitors.end(),
                   [](const platform::Monitor& a, const platform::Monitor& b) {
                     if (a.area.x != b.area.x) return a.area.x < b.area.x;
                     return a.area.y < b.area.y;
                   });
  return monitors;
}

namespace {

platform::ScreenRect Bounds(const std::vector<platform::Monitor>& monitors) {
  int left = monitors.front().area.x, top = monitors.front().area.y;
  int right = left + monitors.front().area.width, bottom = top + monitors.front().area.height;
  for (const platform::Monitor& monitor : monitors) {
    const platform::ScreenRect& r = monitor.area;
    left = std::min(left, r.x);
    top = std::min(top, r.y);
    right = std::max(right, r.x + r.width);
    bottom = std::max(bottom, r.y + r.height);
  }
  return {left, top, right - left, bottom - top};
}

}  // namespace

namespace {

platform::ScreenRect PrimaryArea(const std::vector<platform::Monitor>& monitors) {
  const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                    [](const platform::Monitor& m) { return m.primary; });
  return (primary != monitors.end() ? *primary : monitors.front()).area;
}

}  // namespace

// The primary is named by its rectangle, not left to the system: X maps
// events onto the whole desktop, where the overlay would lie on one monitor.
CursorArea ChooseCursorArea(const CursorScreen& screen,
                            const std::vector<platform::Monitor>& monitors) {
  if (monitors.empty()) return {};
  if (screen.kind == CursorScreen::Kind::kAll) return {Bounds(monitors), false};
  if (screen.kind == CursorScreen::Kind::kPrimary) return {PrimaryArea(monitors), false};
  const auto index = static_cast<std::size_t>(screen.monitor - 1);
  if (index >= monitors.size()) return {PrimaryArea(monitors), true};
  return {monitors[index].area, false};
}

std::optional<platform::ScreenRect> CursorScreenRect(const CursorScreen& screen) {
  return CoveredRect(screen, MonitorsAsSeen(platform::ListMonitors()));
}

std::optional<platform::ScreenRect> CoveredRect(const CursorScreen& screen,
                                                const std::vector<platform::Monitor>& monitors) {
  return ChooseCursorArea(screen, monitors).rect;
}

std::vector<CursorScreenChoice> CursorScreenChoices(
    const CursorScreen& current, const std::vector<platform::Monitor>& monitors) {
  std::vector<CursorScreenChoice> choices;
  const auto add = [&](const CursorScreen& screen, std::string caption) {
    choices.push_back({screen, std::move(caption), screen == current});
  };
  add({}, "Primary");
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const platform::ScreenRect& r = monitors[i].area;
    add({CursorScreen::Kind::kMonitor, static_cast<int>(i + 1)},
        "Monitor " + std::to_string(i + 1) + " (" + std::to_string(r.width) + "x" +
            std::to_string(r.height) + " at " + std::to_string(r.x) + "," + std::to_string(r.y) +
            ")");
  }
  add({CursorScreen::Kind::kAll, 0}, "All");
  return choices;
}
