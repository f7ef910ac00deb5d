// How the operator's views name a pointer: by its number alone, or by its
// number and the name its phone gave ("17 Mia"). The INI's
// Control/PointerLabels keeps the choice ("numbers" or "names").
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class PointerLabels { kNumbers, kNames };

inline constexpr PointerLabels kDefaultPointerLabels = PointerLabels::kNames;

// The INI's word for the choice, and back; nullopt for any other word.
const char* PointerLabelsWord(PointerLabels labels);
std::optional<PointerLabels> ParsePointerLabels(std::string_view word);

// "17", or "17 Mia" when names are shown and the pointer has one.
std::string PointerLabel(int pointer, std::string_view name, PointerLabels labels);
// The name in such a label ("Mia"); empty when it has none.
std::string NameInLabel(std::string_view label);
