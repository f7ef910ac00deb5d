#include "http/page_texts.h"

#include "common/diagnostic_log.h"
#include "common/page_language.h"
#include "http/index_page.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool IsComment(std::string_view line) {
  return line.empty() || line.front() == ';' || line.front() == '#';
}

}  // namespace

const ServedBody* PageTextCatalogue::For(std::string_view wanted) const {
  if (bodies.empty()) return nullptr;
  if (fixed) return &bodies[*fixed];
  if (const std::optional<std::size_t> found = LookUpLanguage(tags, wanted)) {
    return &bodies[*found];
  }
  const std::optional<std::size_t> english = LookUpLanguage(tags, "en");
  return &bodies[english.value_or(0)];
}

PageTextCatalogue ParsePageTexts(std::string_view text, std::string_view pageLanguage) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> plains;
  PageTextCatalogue catalogue;
  constexpr std::size_t kOutside = static_cast<std::size_t>(-1);
  std::size_t section = kOutside;  // lines outside a section we keep are dropped
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (IsComment(line)) continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view tag = Trimmed(line.substr(1, line.size() - 2));
      section = kOutside;
      if (!IsLanguageTag(tag)) {
        ++catalogue.skippedSections;
        continue;
      }
      // A language named twice goes on where it left off.
      const std::optional<std::size_t> known = LookUpLanguage(catalogue.tags, tag);
      if (known && catalogue.tags[*known].size() == tag.size()) {
        section = *known;
        continue;
      }
      catalogue.tags.emplace_back(tag);
      plains.push_back("lang=" + std::string(tag) + "\n");
      section = plains.size() - 1;
      continue;
    }
    if (section == kOutside) continue;
    plains[section].append(line);
    plains[section].push_back('\n');
  }
  for (std::string& plain : plains) catalogue.bodies.push_back(MakeServedBody(std::move(plain)));
  if (!pageLanguage.empty()) {
    const std::optional<std::size_t> fixed = LookUpLanguage(catalogue.tags, pageLanguage);
    if (fixed && catalogue.tags[*fixed].size() == pageLanguage.size()) catalogue.fixed = fixed;
  }
  return catalogue;
}

PageTexts::PageTexts() : catalogue_(std::make_shared<const PageTextCatalogue>()) {}

std::shared_ptr<const PageTextCatalogue> PageTexts::Snapshot() const {
  std::lock_guard guard(lock_);
  return catalogue_;
}

void PageTexts::Publish(std::string_view text, std::string_view pageLanguage) {
  auto catalogue = std::make_shared<const PageTextCatalogue>(ParsePageTexts(text, pageLanguage));
  std::lock_guard guard(lock_);
  catalogue_.swap(catalogue);  // the old one is released after the lock, by its last reader
}

int ReReadPageTexts(PageTexts& texts, const std::string& file, const std::string& pageLanguage,
                    DiagnosticLog& log) {
  std::string contents;
  if (!ReadFileIntoMemory(file, PageTexts::kCapacity, contents, log)) return 0;
  texts.Publish(contents, pageLanguage);
  const std::shared_ptr<const PageTextCatalogue> loaded = texts.Snapshot();
  std::string line = "Page texts in " + std::to_string(loaded->tags.size()) + " languages";
  if (loaded->skippedSections > 0) {
    line +=
        "; " + std::to_string(loaded->skippedSections) + " sections without a language tag skipped";
  }
  log.WriteLogLine(line);
  if (!pageLanguage.empty() && !loaded->fixed) {
    log.WriteLogLine("PageLanguage=" + pageLanguage +
                     " is not in the page texts: each phone gets its own language");
  }
  return 1;
}
