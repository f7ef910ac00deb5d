#include "pointer/pointer_names.h"

#include <utility>

#include "platform/unicode_text.h"

namespace {

// Decodes one code point of strict UTF-8 at text[at]; false for anything
// else (overlong forms, surrogates, values past U+10FFFF, cut sequences).
bool DecodeOne(std::string_view text, std::size_t& at, char32_t& point) {
  const auto lead = static_cast<unsigned char>(text[at]);
  int extra = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    point = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, point = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, point = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, point = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - at - 1 < static_cast<std::size_t>(extra)) return false;
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return false;
    point = (point << 6) | (next & 0x3F);
  }
  at += 1 + extra;
  if (point < least || point > 0x10FFFF) return false;
  return point < 0xD800 || point > 0xDFFF;
}

// C0, DEL, C1, and the line and paragraph separators, which break lines
// wherever a name is shown.
bool IsControl(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F) || point == 0x2028 || point == 0x2029;
}

// Overrides, embeddings and isolates reorder the text around a name, so a
// name could make the screen lie about the next one. The invisible direction
// marks (LRM, RLM, ALM) are refused too: no name needs them, since every name
// is shown on its own, and they only serve to make two names look alike.
bool IsBidiControl(char32_t point) {
  return (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) ||
         point == 0x200E || point == 0x200F || point == 0x061C;
}

bool IsSpace(char32_t point) {
  return point == 0x20 || point == 0xA0 || point == 0x1680 ||
         (point >= 0x2000 && point <= 0x200A) || point == 0x202F || point == 0x205F ||
         point == 0x3000;
}

// Checks every code point; sets [first, last) to the bytes between the
// spaces at either end.
PointerNames::Refusal Check(std::string_view utf8, std::size_t& first, std::size_t& last) {
  first = utf8.size();
  last = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t start = at;
    char32_t point = 0;
    if (!DecodeOne(utf8, at, point)) return PointerNames::Refusal::kBadUtf8;
    if (IsControl(point)) return PointerNames::Refusal::kControl;
    if (IsBidiControl(point)) return PointerNames::Refusal::kBidi;
    if (IsSpace(point)) continue;
    if (first == utf8.size()) first = start;
    last = at;
  }
  return PointerNames::Refusal::kNone;
}

std::size_t CountCodePoints(std::string_view utf8) {
  std::size_t count = 0;
  for (const char byte : utf8) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return count;
}

}  // namespace

PointerNames::Refusal CleanName(std::string_view utf8, std::string& clean) {
  clean.clear();
  // Far longer than any name: refused before the work of normalising it.
  if (utf8.size() > 8 * PointerNames::kMaxBytes) return PointerNames::Refusal::kTooLong;
  std::size_t first = 0, last = 0;
  if (const auto refusal = Check(utf8, first, last); refusal != PointerNames::Refusal::kNone)
    return refusal;
  if (first >= last) return PointerNames::Refusal::kNone;
  if (!platform::NormalizeToNfc(utf8.substr(first, last - first), clean)) {
    clean.clear();
    return PointerNames::Refusal::kBadUtf8;
  }
  if (CountCodePoints(clean) > PointerNames::kMaxCharacters) {
    clean.clear();
    return PointerNames::Refusal::kTooLong;
  }
  return PointerNames::Refusal::kNone;
}

std::string_view RefusalReason(PointerNames::Refusal refusal) {
  switch (refusal) {
    case PointerNames::Refusal::kNone:
      return "";
    case PointerNames::Refusal::kTooLong:
      return "too long";
    case PointerNames::Refusal::kControl:
      return "control character";
    case PointerNames::Refusal::kBidi:
      return "bidi override";
    case PointerNames::Refusal::kBadUtf8:
      return "invalid UTF-8";
    case PointerNames::Refusal::kNotHolder:
      return "not your number";
    case PointerNames::Refusal::kBadNumber:
      return "no such number";
  }
  return "refused";
}

PointerNames::Refusal PointerNames::Set(int pointer, std::string_view utf8,
                                        const std::function<bool()>& mayName) {
  if (!IsValidPointer(pointer)) return Refusal::kBadNumber;
  std::string clean;
  if (const auto refusal = CleanName(utf8, clean); refusal != Refusal::kNone) return refusal;
  std::lock_guard lock(mutex_);
  if (mayName && !mayName()) return Refusal::kNotHolder;
  Store(pointer, std::move(clean));
  return Refusal::kNone;
}

void PointerNames::Clear(int pointer) {
  if (!IsValidPointer(pointer)) return;
  std::lock_guard lock(mutex_);
  Store(pointer, std::string());
}

void PointerNames::ClearAll() {
  std::lock_guard lock(mutex_);
  for (int pointer = 0; pointer < kPointerCount; ++pointer) Store(pointer, std::string());
}

std::string PointerNames::Get(int pointer) const {
  if (!IsValidPointer(pointer)) return std::string();
  std::lock_guard lock(mutex_);
  return names_[static_cast<std::size_t>(pointer)];
}

void PointerNames::SetListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
  if (!listener_) return;
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    const std::string& name = names_[static_cast<std::size_t>(pointer)];
    if (!name.empty()) listener_(pointer, name);
  }
}

void PointerNames::Store(int pointer, std::string name) {
  std::string& kept = names_[static_cast<std::size_t>(pointer)];
  if (kept == name) return;
  kept = std::move(name);
  version_.fetch_add(1, std::memory_order_acq_rel);
  if (listener_) listener_(pointer, kept);
}
