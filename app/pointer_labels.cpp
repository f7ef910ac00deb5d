#include "app/pointer_labels.h"

#include "common/ascii.h"
#include "common/number_text.h"

const char* PointerLabelsWord(PointerLabels labels) {
  return labels == PointerLabels::kNumbers ? "numbers" : "names";
}

std::optional<PointerLabels> ParsePointerLabels(std::string_view word) {
  const std::string lower = AsciiLowered(word);
  if (lower == "numbers") return PointerLabels::kNumbers;
  if (lower == "names") return PointerLabels::kNames;
  return std::nullopt;
}

std::string NameInLabel(std::string_view label) {
  // The number is always two digits, then a space.
  return label.size() > 3 ? std::string(label.substr(3)) : std::string();
}

std::string PointerLabel(int pointer, std::string_view name, PointerLabels labels) {
  std::string label = TwoDigits(pointer);
  if (labels == PointerLabels::kNames && !name.empty()) {
    label += ' ';
    label += name;
  }
  return label;
}
