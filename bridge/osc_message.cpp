#include "bridge/osc_message.h"

#include <cstring>

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

void AppendReport(std::string& out, const tvxhdv_report& report) {
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

}  // namespace

std::string EncodeReport(const tvxhdv_report& report) {
  std::string out;
  out.reserve(kReportBytes);
  AppendReport(out, report);
  return out;
}

std::string EncodeReports(std::span<const tvxhdv_report> reports) {
  if (reports.size() == 1) return EncodeReport(reports[0]);
  std::string out;
  out.reserve(16 + reports.size() * (4 + kReportBytes));
  PutString(out, "#bundle");
  PutInt(out, 0);  // the time tag 1: at once
  PutInt(out, 1);
  for (const tvxhdv_report& report : reports) {
    PutInt(out, kReportBytes);
    AppendReport(out, report);
  }
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
