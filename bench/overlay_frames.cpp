// The pointer overlay's own work for a class of 80 phones: every pointer
// moves in every frame, 60 frames a second, on a 1920 by 1080 screen. Each
// frame builds the dots from the pointers' last reports and repaints the
// changed rectangles of the canvas, as the overlay window does before it
// hands them to the window system. Measured twice: numbers only, and every
// pointer with a name of 24 characters on its plate beside the dot.
//
//   overlay_frames [frames]
//
// Prints the CPU time per frame and what 60 frames a second take of a core.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/overlay_canvas.h"
#include "app/pointer_overlay_model.h"

namespace {

// A plate as wide as 24 characters get, a dark plate with light ink, as
// the windows' fonts draw them once for each name.
OverlayLabel NamePlate(int radius) {
  OverlayLabel label;
  label.height = OverlayLabelHeight(radius);
  label.width = OverlayLabelMaxWidth(radius);
  label.pixels.assign(static_cast<std::size_t>(label.width) * static_cast<std::size_t>(label.height),
                      0xFF202020u);
  for (std::size_t i = 0; i < label.pixels.size(); i += 3) label.pixels[i] = 0xFFFFFFFFu;
  return label;
}

void Measure(int frames, const OverlayLabels* labels, const char* what) {
  const OverlayRect screen{0, 0, 1920, 1080};
  PointerSightings sightings;
  OverlayFrame frame;
  OverlayCanvas canvas;
  OverlayCanvas::Changes changes;
  canvas.SetLabels(labels);
  BuildOverlayFrame(sightings, 0, 0, screen, frame, labels);
  canvas.Paint(frame, changes);  // the canvas's one allocation, before the clock runs

  const std::clock_t start = std::clock();
  long changed = 0;
  for (int f = 0; f < frames; ++f) {
    const auto now = static_cast<std::uint32_t>(f * 16);
    for (int p = 0; p < kPointerCount; ++p) {
      PointerSighting& s = sightings.pointers[static_cast<std::size_t>(p)];
      const double angle = (f + p * 7) * 0.05;
      s.reported = true;
      s.lastReportTick = now;
      s.status.x = static_cast<int>(32768 + 28000 * std::cos(angle + p));
      s.status.y = static_cast<int>(32768 + 28000 * std::sin(angle * 1.3 + p));
      s.status.buttonL = (f / 30 + p) % 4 == 0;
    }
    BuildOverlayFrame(sightings, now, 0, screen, frame, labels);
    canvas.Paint(frame, changes);
    changed += changes.count;
  }
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const double perFrameUs = seconds * 1e6 / frames;
  std::printf(
      "pointer overlay, 80 pointers all moving, %s, 1920x1080: %.0f us CPU a frame, %.1f %% of a "
      "core at 60 frames/s (%ld rectangles repainted)\n",
      what, perFrameUs, perFrameUs * 60 / 1e4, changed);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 1200;
  Measure(frames, nullptr, "numbers only");
  static OverlayLabels labels;
  const int radius = OverlayDotRadius(1080);
  for (int p = 0; p < kPointerCount; ++p) labels.Set(p, NamePlate(radius));
  Measure(frames, &labels, "named (24 characters)");
  return 0;
}
