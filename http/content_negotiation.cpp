#include "http/content_negotiation.h"

#include "common/ascii.h"
#include "http/header_lines.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// Takes the text up to the next separator off list.
std::string_view TakeItem(std::string_view& list, char separator) {
  const std::size_t at = list.find(separator);
  const std::string_view item = list.substr(0, at);
  list.remove_prefix(at == std::string_view::npos ? list.size() : at + 1);
  return item;
}

// "q=0", "q=0.", "q=0.000": the coding is refused. Any other weight admits it.
bool RefusedByQuality(std::string_view parameters) {
  while (!parameters.empty()) {
    const std::string_view parameter = Trimmed(TakeItem(parameters, ';'));
    if (parameter.size() < 2 || AsciiLower(parameter[0]) != 'q' || parameter[1] != '=') continue;
    const std::string_view weight = Trimmed(parameter.substr(2));
    if (weight.empty() || weight[0] != '0') return false;
    if (weight.size() == 1) return true;
    return weight[1] == '.' && weight.find_first_not_of('0', 2) == std::string_view::npos;
  }
  return false;
}

std::string_view WithoutWeakPrefix(std::string_view tag) {
  return tag.starts_with("W/") ? tag.substr(2) : tag;
}

}  // namespace

bool AcceptsGzip(std::string_view request) {
  bool gzipListed = false;
  bool gzipAdmitted = false;
  bool anyAdmitted = false;
  ForEachHeader(request, "accept-encoding:", [&](std::string_view list) {
    while (!list.empty()) {
      std::string_view element = TakeItem(list, ',');
      const std::string_view coding = Trimmed(TakeItem(element, ';'));
      const bool admitted = !RefusedByQuality(element);
      if (EqualsIgnoringCase(coding, "gzip") || EqualsIgnoringCase(coding, "x-gzip")) {
        gzipListed = true;
        gzipAdmitted = gzipAdmitted || admitted;
      } else if (coding == "*") {
        anyAdmitted = anyAdmitted || admitted;
      }
    }
  });
  return gzipListed ? gzipAdmitted : anyAdmitted;
}

bool MatchesEntityTag(std::string_view request, std::string_view entityTag) {
  bool matched = false;
  const std::string_view ours = WithoutWeakPrefix(entityTag);
  ForEachHeader(request, "if-none-match:", [&](std::string_view list) {
    while (!list.empty() && !matched) {
      const std::string_view tag = Trimmed(TakeItem(list, ','));
      matched = tag == "*" || WithoutWeakPrefix(tag) == ours;
    }
  });
  return matched;
}

bool HoldsCurrentVersion(std::string_view request, std::string_view entityTag,
                         std::string_view lastModified) {
  bool askedByTag = false;
  ForEachHeader(request, "if-none-match:", [&](std::string_view) { askedByTag = true; });
  if (askedByTag) return MatchesEntityTag(request, entityTag);
  bool sameDate = false;
  ForEachHeader(request, "if-modified-since:", [&](std::string_view date) {
    sameDate = sameDate || (!lastModified.empty() && Trimmed(date) == lastModified);
  });
  return sameDate;
}
