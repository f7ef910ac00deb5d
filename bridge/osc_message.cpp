#include "bridge/osc_message.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace bridge::osc {

namespace {

// A string and its terminating zero, padded with zeros to a multiple of 4.
void PutString(std::string& out, std::string_view text) {
  out.append(text);
  out.append(4 - text.size() % 4, '\0');
}

void PutInt(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

void PutFloat(std::string& out, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  PutInt(out, bits);
}

std::string Single(std::string_view address, std::string_view text) {
  std::string out;
  PutString(out, address);
  PutString(out, ",s");
  PutString(out, text);
  return out;
}

// Takes a padded string at offset; false when it runs past the end.
bool TakeString(std::string_view packet, std::size_t& offset, std::string& text) {
  const std::size_t end = packet.find('\0', offset);
  if (end == std::string_view::npos) return false;
  text.assign(packet.substr(offset, end - offset));
  offset = (end / 4 + 1) * 4;
  return offset <= packet.size();
}

bool TakeWord(std::string_view packet, std::size_t& offset, std::uint32_t& value) {
  if (packet.size() - offset < 4) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(packet.data() + offset);
  value = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
          std::uint32_t{bytes[2]} << 8 | bytes[3];
  offset += 4;
  return true;
}

// /tvxhdv/pointer, its type tags and seven arguments.
constexpr std::uint32_t kReportBytes = 56;

void AppendLegacyReport(std::string& out, const tvxhdv_report& report) {
  PutString(out, "/tvxhdv/pointer");
  PutString(out, ",iffiiii");
  PutInt(out, report.pointer);
  PutFloat(out, static_cast<float>(report.x) / 65535.0f);
  PutFloat(out, static_cast<float>(report.y) / 65535.0f);
  PutInt(out, report.left ? 1 : 0);
  PutInt(out, report.right ? 1 : 0);
  PutInt(out, report.on_pad ? 1 : 0);
  PutInt(out, report.frame);
}

// "/tvxhdv/p3/" + value, padded; written without a temporary, as it goes out
// three times per report. The number has a letter before it: a receiver
// may take an address part of digits alone for a number or for a word, and
// one router cannot match both.
void PutPointerAddress(std::string& out, std::uint32_t pointer, std::string_view value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + pointer % 10);
    pointer /= 10;
  } while (pointer != 0);
  const std::size_t before = out.size();
  out.append("/tvxhdv/p");
  while (count > 0) out.push_back(digits[--count]);
  out.push_back('/');
  out.append(value);
  out.append(4 - (out.size() - before) % 4, '\0');
}

// Writes a bundle element's size in front of what was appended since start.
void PutSizeAt(std::string& out, std::size_t start) {
  const auto size = static_cast<std::uint32_t>(out.size() - start - 4);
  out[start] = static_cast<char>(size >> 24);
  out[start + 1] = static_cast<char>(size >> 16);
  out[start + 2] = static_cast<char>(size >> 8);
  out[start + 3] = static_cast<char>(size);
}

// An int or float argument of a message.
template <typename Value>
void PutArgument(std::string& out, Value value) {
  if constexpr (std::is_floating_point_v<Value>) {
    PutFloat(out, static_cast<float>(value));
  } else {
    PutInt(out, static_cast<std::uint32_t>(value));
  }
}

// A bundle element: its size, then the message "/tvxhdv/pN/" + value with
// its type tags and arguments.
template <typename... Arguments>
void PutPointerElement(std::string& out, std::uint32_t pointer, std::string_view value,
                       std::string_view typeTags, Arguments... arguments) {
  const std::size_t start = out.size();
  PutInt(out, 0);  // the size, once known
  PutPointerAddress(out, pointer, value);
  PutString(out, typeTags);
  (PutArgument(out, arguments), ...);
  PutSizeAt(out, start);
}

void AppendPointerReport(std::string& out, const tvxhdv_report& report) {
  PutPointerElement(out, report.pointer, "xy", ",ff", static_cast<float>(report.x) / 65535.0f,
                    static_cast<float>(report.y) / 65535.0f);
  PutPointerElement(out, report.pointer, "buttons", ",ii", report.left ? 1 : 0,
                    report.right ? 1 : 0);
  PutPointerElement(out, report.pointer, "pad", ",i", report.on_pad ? 1 : 0);
}

// The three messages of a report with their sizes, for two-digit pointers
// as for one-digit ones (both pad to the same length).
constexpr std::size_t kPointerReportBytes = (4 + 16 + 4 + 8) + (4 + 20 + 4 + 8) + (4 + 16 + 4 + 4);
constexpr std::size_t kBundleHeadBytes = 16;
// An Ethernet frame's payload less the IPv4 and UDP headers: a datagram that
// must be cut in fragments is lost whole when one of them is.
constexpr std::size_t kFrameBytes = 1472;
constexpr std::size_t kMostReports = 24;

void PutBundleHead(std::string& out) {
  PutString(out, "#bundle");
  PutInt(out, 0);  // the time tag 1: at once
  PutInt(out, 1);
}

// The type tags ",ii..." and the ints.
void PutIntList(std::string& out, std::span<const unsigned> values) {
  out.push_back(',');
  out.append(values.size(), 'i');
  out.append(4 - (values.size() + 1) % 4, '\0');
  for (const unsigned value : values) PutInt(out, value);
}

}  // namespace

std::size_t ReportsPerDatagram(Scheme scheme) {
  const std::size_t each = scheme == Scheme::kLegacy ? 4 + kReportBytes : kPointerReportBytes;
  return std::min(kMostReports, (kFrameBytes - kBundleHeadBytes) / each);
}

std::string EncodeReport(const tvxhdv_report& report) {
  std::string out;
  out.reserve(kReportBytes);
  AppendLegacyReport(out, report);
  return out;
}

void EncodeReports(std::span<const tvxhdv_report> reports, Scheme scheme, std::string& out) {
  out.clear();
  if (scheme == Scheme::kLegacy && reports.size() == 1) {
    AppendLegacyReport(out, reports[0]);
    return;
  }
  PutBundleHead(out);
  for (const tvxhdv_report& report : reports) {
    if (scheme == Scheme::kLegacy) {
      PutInt(out, kReportBytes);
      AppendLegacyReport(out, report);
    } else {
      AppendPointerReport(out, report);
    }
  }
}

std::string EncodeReports(std::span<const tvxhdv_report> reports, Scheme scheme) {
  std::string out;
  EncodeReports(reports, scheme, out);
  return out;
}

std::string EncodeAlive(std::span<const unsigned> present) {
  std::string out;
  PutString(out, "/tvxhdv/alive");
  PutIntList(out, present);
  return out;
}

std::string EncodeName(unsigned pointer, std::string_view name) {
  std::string out;
  PutPointerAddress(out, pointer, "name");
  PutString(out, ",s");
  PutString(out, name);
  return out;
}

std::string EncodePresence(unsigned pointer, bool joined, std::span<const unsigned> present) {
  std::string out;
  PutBundleHead(out);
  PutPointerElement(out, pointer, "present", ",i", joined ? 1 : 0);
  const std::size_t start = out.size();
  PutInt(out, 0);
  out += EncodeAlive(present);
  PutSizeAt(out, start);
  return out;
}

std::string EncodeServer(bool running) { return Single("/tvxhdv/server", running ? "new" : "gone"); }

std::string EncodeError(std::string_view text) { return Single("/tvxhdv/error", text); }

std::optional<Message> Decode(std::string_view packet, std::string& problem) {
  Message message;
  std::size_t offset = 0;
  if (packet.size() % 4 != 0 || !TakeString(packet, offset, message.address) ||
      message.address.empty()) {
    problem = "not an OSC message";
    return std::nullopt;
  }
  if (message.address == "#bundle") {
    problem = "bundles are not taken: send each message on its own";
    return std::nullopt;
  }
  if (message.address[0] != '/') {
    problem = "not an OSC message";
    return std::nullopt;
  }
  std::string tags;
  if (offset < packet.size() && !TakeString(packet, offset, tags)) {
    problem = "the type tags of " + message.address + " are cut short";
    return std::nullopt;
  }
  if (!tags.empty() && tags[0] != ',') {
    problem = "the type tags of " + message.address + " do not start with a comma";
    return std::nullopt;
  }
  message.types = tags.empty() ? "" : tags.substr(1);
  for (const char type : message.types) {
    std::uint32_t word = 0;
    if (type == 'i' && TakeWord(packet, offset, word)) {
      message.arguments.emplace_back(static_cast<std::int32_t>(word));
    } else if (type == 'f' && TakeWord(packet, offset, word)) {
      float value = 0;
      std::memcpy(&value, &word, 4);
      message.arguments.emplace_back(value);
    } else if (type == 's') {
      std::string text;
      if (!TakeString(packet, offset, text)) break;
      message.arguments.emplace_back(std::move(text));
    } else if (type != 'i' && type != 'f') {
      problem = message.address + ": argument type '" + std::string(1, type) +
                "' is not taken (only i, f and s)";
      return std::nullopt;
    } else {
      break;
    }
  }
  if (message.arguments.size() != message.types.size()) {
    problem = "the arguments of " + message.address + " are cut short";
    return std::nullopt;
  }
  return message;
}

}  // namespace bridge::osc
