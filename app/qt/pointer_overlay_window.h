// The pointer overlay on Linux: a frameless, translucent tool window over
// the part of the desktop the pad covers that stays on top, takes no input and no focus.
// Once a display frame it reads the pointers' last reports, and repaints and
// reshapes only where the dots changed. Shaped to its dots, it shows them
// without a compositor too.
#pragma once

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/overlay_canvas.h"
#include "app/overlay_name_plates.h"
#include "app/pointer_overlay_model.h"
#include "platform/screen.h"

namespace qt_window {

class PointerOverlayWindow final : public QWidget {
 public:
  using SightingsReader = std::function<void(PointerSightings&)>;
  using Clock = std::function<std::uint32_t()>;

  explicit PointerOverlayWindow(SightingsReader read);

  // Shown with its frames running, or hidden with none.
  void Switch(bool on);
  void SetSelectedPointer(int pointer) { selectedPointer_ = pointer; }
  // Where it lies, in desktop pixels, as the dialog has chosen; none: the
  // primary screen. Taken at the next frame.
  void SetScreenArea(const std::optional<platform::ScreenRect>& area) { area_ = area; }
  // The time the dots' silence is measured at; by default the protocol's
  // own time of the read.
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // The names beside the dots: each pointer's label as the dialog shows it
  // ("17 Mia"; the number alone: no plate). version changes with them.
  void SetLabels(const std::array<std::string, kPointerCount>& labels, unsigned version) {
    plates_.SetLabels(labels, version);
  }
  // One frame at once (the frame timer calls it).
  void Refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect ScreenArea() const;
  void PlaceOnScreen(const QRect& screen);
  QRegion DotsShape();
  const QRegion& ShapeAtOrigin(const OverlayDot& dot);

  SightingsReader read_;
  OverlayNamePlates plates_;
  Clock clock_;
  int selectedPointer_ = 0;
  std::optional<platform::ScreenRect> area_;
  QTimer frameTimer_;
  PointerSightings sightings_;
  OverlayFrame frame_;
  OverlayCanvas canvas_;
  OverlayCanvas::Changes changes_;
  QImage image_;  // the canvas's pixels, not copied
  // Each pointer's shape centred on the origin, for its look and radius: an
  // ellipse region is built from a polygon, far dearer than moving one.
  struct Shape {
    OverlayDot look;  // position left out
    int radius = 0;
    QRegion region;
  };
  std::array<Shape, kPointerCount> shapes_{};
};

}  // namespace qt_window
