// The plates an overlay window shows beside its dots: the names in the
// labels the dialog last gave, each drawn by the window system's fonts once
// for each name and size of dot, not in every frame.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "app/pointer_overlay_model.h"

class OverlayNamePlates {
 public:
  // Draws a name's plate for dots of that radius.
  using DrawPlate = std::function<OverlayLabel(const std::string& name, int radius)>;

  explicit OverlayNamePlates(DrawPlate draw) : draw_(std::move(draw)) {}

  // Each pointer's label as the dialog shows it ("17 Mia"; the number alone:
  // no plate); version changes with them.
  void SetLabels(const std::array<std::string, kPointerCount>& labels, unsigned version);
  // The plates for dots of that radius, drawn anew when a name or the radius changed.
  const OverlayLabels& For(int radius);

 private:
  DrawPlate draw_;
  std::array<std::string, kPointerCount> names_{};  // empty: none
  unsigned namesVersion_ = 0;
  unsigned platesVersion_ = 0;  // the names the plates show
  int platesRadius_ = 0;        // and the dots' size they were drawn for
  OverlayLabels plates_;
};
