#include "http/name_route.h"

#include <optional>

#include "http/header_lines.h"

namespace {

constexpr std::size_t kLongestDecodedName = 8 * PointerNames::kMaxBytes + 1;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimmedValue(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool PercentDecode(std::string_view value, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < value.size() && name.size() < kLongestDecodedName; ++i) {
    if (value[i] != '%') {
      name.push_back(value[i]);
      continue;
    }
    if (i + 2 >= value.size()) return false;
    const int high = HexValue(value[i + 1]);
    const int low = HexValue(value[i + 2]);
    if (high < 0 || low < 0) return false;
    name.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

}  // namespace

bool ParseNamePath(std::string_view routingPath, int& pointer) {
  if (!routingPath.starts_with(kNameRoute)) return false;
  const std::string_view number = routingPath.substr(kNameRoute.size());
  if (number.size() != 2) return false;
  const int high = HexValue(number[0]);
  const int low = HexValue(number[1]);
  if (high < 0 || low < 0) return false;
  pointer = high * 16 + low;
  return IsValidPointer(pointer);
}

NameHeader DecodeNameHeader(std::string_view request, std::string& name) {
  const std::optional<std::string_view> value = FirstHeader(request, kNameHeader);
  if (!value) return NameHeader::kMissing;
  return PercentDecode(TrimmedValue(*value), name) ? NameHeader::kFound : NameHeader::kBadEncoding;
}

NameVerdict NameRoute::Handle(std::string_view routingPath, std::string_view request,
                              std::uint32_t peerAddress) {
  int pointer = 0;
  if (!ParseNamePath(routingPath, pointer)) {
    return {400, RefusalReason(PointerNames::Refusal::kBadNumber)};
  }
  std::string name;
  switch (DecodeNameHeader(request, name)) {
    case NameHeader::kFound:
      break;
    case NameHeader::kMissing:
      return {400, "no name header"};
    case NameHeader::kBadEncoding:
      return {400, "bad percent-encoding"};
  }
  const auto holds = [this, pointer, peerAddress] {
    return holds_ && holds_(pointer, peerAddress);
  };
  if (!holds()) return {409, RefusalReason(PointerNames::Refusal::kNotHolder)};
  // Asked again as the name is kept: the number may have passed to another
  // phone since, whose report clears the name only once this one is in.
  const PointerNames::Refusal refusal = names_.Set(pointer, name, holds);
  if (refusal == PointerNames::Refusal::kNotHolder) {
    return {409, RefusalReason(PointerNames::Refusal::kNotHolder)};
  }
  if (refusal != PointerNames::Refusal::kNone) return {400, RefusalReason(refusal)};
  return {};
}
