// Which language the phone page speaks. The page's texts come in sections,
// one per language tag ("de", "pt-BR"); a phone lists the tags it reads, in
// its order of preference, and gets the first section that one of them
// names, a tag counting for its shorter forms too ("de-AT" for "de").
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A tag as the catalogue and PageLanguage take it: a first part of 2 to 8
// letters, then parts of 1 to 8 letters or digits, joined by "-"; at most
// 35 characters in all.
bool IsLanguageTag(std::string_view tag);

// The index in available of the language for a phone that reads the tags in
// wanted (comma-separated, blanks and ";q=" weights ignored, at most the
// first 16 tags). Tags compare without regard to letter case; a wanted tag
// tries itself, then each shorter form down to its first part, before the
// next tag is tried. Nothing when no tag names an available language.
std::optional<std::size_t> LookUpLanguage(const std::vector<std::string>& available,
                                          std::string_view wanted);
