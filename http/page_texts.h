// The phone page's texts in every language the catalogue holds: a file of
// its own beside the page (".LNG"), kept out of the page so that a phone
// loads one language only, and a teacher can add a language without
// touching the page. Loaded on the dialog's thread while client threads
// serve it: each load publishes a new immutable version, as IndexPage does.
//
// The catalogue is UTF-8 text in sections, one per language tag:
//   ; a comment
//   [de]
//   dir=ltr
//   connected=Verbunden
// A language is served as its section's lines after a first line
// "lang=TAG"; comments and blank lines are left out.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/served_body.h"

class DiagnosticLog;

struct PageTextCatalogue {
  std::vector<std::string> tags;    // as the section headers spell them
  std::vector<ServedBody> bodies;   // one per tag, in the same order
  std::size_t skippedSections = 0;  // headers that are no language tag
  // The class's one language (PageLanguage), when the catalogue holds it.
  std::optional<std::size_t> fixed;

  // The texts for a phone that reads wanted (a list of tags as
  // LookUpLanguage takes it): the fixed language, else the phone's, else
  // English, else the first; null for an empty catalogue.
  const ServedBody* For(std::string_view wanted) const;
};

// Sections in file order; lines before the first section belong to none.
PageTextCatalogue ParsePageTexts(std::string_view text, std::string_view pageLanguage);

class PageTexts {
 public:
  // Largest catalogue that loads: ten languages take a twentieth of it.
  static constexpr std::size_t kCapacity = 1000000;

  PageTexts();

  // Empty until the first successful load.
  std::shared_ptr<const PageTextCatalogue> Snapshot() const;
  void Publish(std::string_view text, std::string_view pageLanguage);

 private:
  mutable std::mutex lock_;  // guards only the copy of the pointer
  std::shared_ptr<const PageTextCatalogue> catalogue_;
};

// Loads the catalogue file into texts with pageLanguage ("" for each phone's
// own). A failed load keeps the texts served so far. 1 on success, 0 on
// failure; a pageLanguage the catalogue lacks is logged and ignored.
int ReReadPageTexts(PageTexts& texts, const std::string& file, const std::string& pageLanguage,
                    DiagnosticLog& log);
