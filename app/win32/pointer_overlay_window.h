// The pointer overlay on Windows: a layered window with per-pixel alpha over
// the part of the desktop the pad covers, topmost, click-through (WS_EX_TRANSPARENT),
// never activated and kept off the taskbar and Alt+Tab (WS_EX_NOACTIVATE,
// WS_EX_TOOLWINDOW). Once a display frame, or less often where frames are
// dear (OverlayFrameBudget), it reads the pointers' last reports and hands
// the system only the rectangle where the dots changed, and nothing when
// none did.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/overlay_canvas.h"
#include "app/overlay_frame_budget.h"
#include "app/overlay_name_plates.h"
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
  void SetLabels(const std::array<std::string, kPointerCount>& labels, unsigned version) {
    plates_.SetLabels(labels, version);
  }
  // One frame at once.
  void Refresh();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Create();
  RECT ScreenRect() const;
  void Place(const RECT& rect);
  bool FitSurface(int width, int height);
  void Push(const OverlayCanvas::Changes& changes);
  void FreeSurface();
  void OnFrameTimer();

  SightingsReader read_;
  OverlayNamePlates plates_;
  OverlayFrameBudget budget_;
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
