// The outgoing objects have fixed shapes and are written directly, a report
// at a time on the hot path; the incoming ones are parsed with nlohmann's
// JSON library.
#include "bridge/json_messages.h"

#include <charconv>

#include <nlohmann/json.hpp>

namespace bridge::json {

namespace {

void PutNumber(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void PutUnsigned(std::string& out, unsigned value) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void PutBool(std::string& out, bool value) { out.append(value ? "true" : "false"); }

// Whole numbers only: JSON writes 3 and 3.0 alike for a command's fields.
bool WholeNumber(const nlohmann::json& value, long long& number) {
  if (value.is_number_integer()) {
    number = value.get<long long>();
    return true;
  }
  if (value.is_number_float()) {
    const double real = value.get<double>();
    if (real >= -1e9 && real <= 1e9 && real == static_cast<double>(static_cast<long long>(real))) {
      number = static_cast<long long>(real);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string Report(const tvxhdv_report& report) {
  std::string out;
  out.reserve(96);
  out.append("{\"pointer\":");
  PutUnsigned(out, report.pointer);
  out.append(",\"x\":");
  PutNumber(out, report.x / 65535.0);
  out.append(",\"y\":");
  PutNumber(out, report.y / 65535.0);
  out.append(",\"left\":");
  PutBool(out, report.left != 0);
  out.append(",\"right\":");
  PutBool(out, report.right != 0);
  out.append(",\"onPad\":");
  PutBool(out, report.on_pad != 0);
  out.append(",\"frame\":");
  PutUnsigned(out, report.frame);
  out.push_back('}');
  return out;
}

std::string Server(bool running) {
  return running ? "{\"server\":\"new\"}" : "{\"server\":\"gone\"}";
}

std::string Busy(const std::string& holder) {
  nlohmann::json busy{{"server", "busy"}};
  if (!holder.empty()) busy["holder"] = holder;
  return busy.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Error(std::string_view text) {
  return nlohmann::json{{"error", std::string(text)}}.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Outcome ReadCommand(std::string_view text, PhoneCommand& command) {
  const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  if (message.is_discarded()) return Outcome::Failure("not JSON");
  const char* const kShapes =
      R"(expected {"vibrate":{"pointer":N,"pattern":"short-single"}} or {"send":{"pointer":N,"code":N}})";
  if (!message.is_object() || message.size() != 1) return Outcome::Failure(kShapes);
  const bool vibrate = message.contains("vibrate");
  const nlohmann::json& body = vibrate ? message["vibrate"] : message.value("send", nlohmann::json());
  if (!vibrate && !message.contains("send")) return Outcome::Failure(kShapes);
  if (!body.is_object()) return Outcome::Failure(kShapes);
  long long pointer = 0;
  if (!body.contains("pointer") || !WholeNumber(body["pointer"], pointer)) {
    return Outcome::Failure("\"pointer\" must be a number from 0 to 79");
  }
  long long code = 0;
  if (vibrate) {
    if (!body.contains("pattern")) {
      return Outcome::Failure(std::string("\"pattern\" is missing: one of ") + kPatternNames);
    }
    const nlohmann::json& pattern = body["pattern"];
    long long number = 0;
    const auto found = pattern.is_string() ? PatternByName(pattern.get<std::string>())
                       : WholeNumber(pattern, number) ? PatternByNumber(number)
                                                      : std::nullopt;
    if (!found) {
      return Outcome::Failure(std::string("\"pattern\" must be one of ") + kPatternNames +
                              ", or 1 to 6");
    }
    code = *found;
  } else if (!body.contains("code") || !WholeNumber(body["code"], code)) {
    return Outcome::Failure("\"code\" must be a number from 0 to 255");
  }
  Outcome checked = CheckCommand(pointer, code);
  if (!checked) return checked;
  command.pointer = static_cast<int>(pointer);
  command.code = static_cast<unsigned>(code);
  return Outcome::Ok();
}

}  // namespace bridge::json
