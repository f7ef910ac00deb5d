// The pointer overlay on Windows: a layered window with per-pixel alpha over
// the part of the desktop the pad covers, topmost, click-through (WS_EX_TRANSPARENT),
// never activated and kept off the taskbar and Alt+Tab (WS_EX_NOACTIVATE,
// WS_EX_TOOLWINDOW). Once a display frame it reads the pointers' last
// reports and hands the system only the rectangle where the dots changed,
// and nothing when none did.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/pointer_overlay_model.h"
#include "platform/screen.h"

class PointerOverlayWindow {
 public:
  using SightingsReader = std::function<void(PointerSightings&)>;

  explicit PointerOverlayWindow(SightingsReader read);
  ~PointerOverlayWindow();
  PointerOverlayWindow(const PointerOverlayWindow&) = delete;
  PointerOverlayWindow& operator=(const PointerOverlayWindow&) = delete;

  // Shown with its frames running, or hidden with none.
  void Switch(bool on);
  void SetSelectedPointer(int pointer) { selectedPointer_ = pointer; }
  // Where it lies, in desktop pixels, as the dialog has chosen; none: the
  // primary monitor. Taken at the next frame.
  void SetScreenArea(const std::optional<platform::ScreenRect>& area) { area_ = area; }
  // The names beside the dots: each pointer's label as the dialog shows it
  // ("17 Mia"; the number alone: no plate). version changes with them.
  void SetLabels(const std::array<std::string, kPointerCount>& labels, unsigned version);
  // One frame at once (the frame timer calls it).
  void Refresh();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Create();
  RECT ScreenRect() const;
  void Place(const RECT& rect);
  bool FitSurface(int width, int height);
  void Push(const OverlayCanvas::Changes& changes);
  void FreeSurface();
  void PaintNamePlates(int radius);

  SightingsReader read_;
  std::array<std::string, kPointerCount> names_{};  // the labels' names; empty: none
  unsigned namesVersion_ = 0;
  unsigned platesVersion_ = 0;  // the names the plates show
  int platesRadius_ = 0;        // and the dots' size they were drawn for
  OverlayLabels plates_;
  int selectedPointer_ = 0;
  bool on_ = false;
  std::optional<platform::ScreenRect> area_;
  HWND window_ = nullptr;
  RECT placed_{};  // where the window lies now
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  std::uint32_t* bits_ = nullptr;  // the DIB's pixels, top-down
  int surfaceWidth_ = 0;
  int surfaceHeight_ = 0;
  PointerSightings sightings_;
  OverlayFrame frame_;
  OverlayCanvas canvas_;
  OverlayCanvas::Changes changes_;
};
