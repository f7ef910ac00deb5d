#include "app/overlay_name_plates.h"

#include "app/pointer_labels.h"

void OverlayNamePlates::SetLabels(const std::array<std::string, kPointerCount>& labels,
                                  unsigned version) {
  if (version == namesVersion_) return;
  namesVersion_ = version;
  for (std::size_t p = 0; p < labels.size(); ++p) names_[p] = NameInLabel(labels[p]);
}

const OverlayLabels& OverlayNamePlates::For(int radius) {
  if (platesVersion_ == namesVersion_ && platesRadius_ == radius) return plates_;
  platesVersion_ = namesVersion_;
  platesRadius_ = radius;
  for (int p = 0; p < kPointerCount; ++p) {
    const std::string& name = names_[static_cast<std::size_t>(p)];
    plates_.Set(p, name.empty() ? OverlayLabel{} : draw_(name, radius));
  }
  return plates_;
}
