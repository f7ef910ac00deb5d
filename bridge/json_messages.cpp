// The outgoing objects have fixed shapes and are written directly, a report
// at a time on the hot path; the incoming ones are parsed with nlohmann's
// JSON library.
#include "bridge/json_messages.h"

#include <charconv>
#include <optional>

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

constexpr const char* kShapes =
    R"(expected one of {"vibrate":{"pointer":N,"pattern":"short-single"}}, )"
    R"({"send":{"pointer":N,"code":N}}, {"show":{"pointer":N,"what":"correct"}}, )"
    R"({"drop":{"pointer":N}} or {"batch":true})";

Outcome ReadPattern(const nlohmann::json& body, long long& code) {
  if (!body.contains("pattern")) {
    return Outcome::Failure(std::string("\"pattern\" is missing: one of ") + kPatternNames);
  }
  const nlohmann::json& pattern = body["pattern"];
  long long number = 0;
  const auto found = pattern.is_string()            ? PatternByName(pattern.get<std::string>())
                     : WholeNumber(pattern, number) ? PatternByNumber(number)
                                                    : std::nullopt;
  if (!found) {
    return Outcome::Failure(std::string("\"pattern\" must be one of ") + kPatternNames +
                            ", or 1 to 6");
  }
  code = *found;
  return Outcome::Ok();
}

Outcome ReadShow(const nlohmann::json& body, long long& code) {
  const char* const kWhat =
      R"("what" must be "correct", "wrong" or "clear", or "colour" with "n" 0 to 7, )"
      R"(or "digit" with "n" 0 to 9)";
  if (!body.contains("what") || !body["what"].is_string()) return Outcome::Failure(kWhat);
  std::optional<long long> n;
  if (body.contains("n")) {
    long long number = 0;
    if (!WholeNumber(body["n"], number)) return Outcome::Failure(kWhat);
    n = number;
  }
  const auto found = ShowCodeByName(body["what"].get<std::string>(), n);
  if (!found) return Outcome::Failure(kWhat);
  code = *found;
  return Outcome::Ok();
}

Outcome ReadCode(const nlohmann::json& body, long long& code) {
  if (!body.contains("code") || !WholeNumber(body["code"], code)) {
    return Outcome::Failure("\"code\" must be a whole number");
  }
  return Outcome::Ok();
}

Outcome ReadCommand(const std::string& verb, const nlohmann::json& body, PhoneCommand& command) {
  if (!body.is_object()) return Outcome::Failure(kShapes);
  long long pointer = 0;
  if (!body.contains("pointer") || !WholeNumber(body["pointer"], pointer)) {
    return Outcome::Failure("\"pointer\" must be a number from 0 to 79");
  }
  long long code = 0;  // a drop has none
  Outcome read = verb == "vibrate" ? ReadPattern(body, code)
                 : verb == "show"  ? ReadShow(body, code)
                 : verb == "send"  ? ReadCode(body, code)
                                   : Outcome::Ok();
  if (!read) return read;
  Outcome checked = verb == "drop" ? CheckPointer(pointer) : CheckCommand(pointer, code);
  if (!checked) return checked;
  command.pointer = static_cast<int>(pointer);
  command.code = verb == "drop" ? 0 : static_cast<unsigned>(code);
  command.cancel = verb == "drop";
  return Outcome::Ok();
}

}  // namespace

namespace {

void AppendReport(std::string& out, const tvxhdv_report& report) {
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
}

}  // namespace

std::string Report(const tvxhdv_report& report) {
  std::string out;
  out.reserve(96);
  AppendReport(out, report);
  return out;
}

std::string Reports(const tvxhdv_report* reports, int count) {
  std::string out;
  out.reserve(96 * static_cast<std::size_t>(count) + 2);
  out.push_back('[');
  for (int i = 0; i < count; ++i) {
    if (i > 0) out.push_back(',');
    AppendReport(out, reports[i]);
  }
  out.push_back(']');
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

namespace {

// Names come checked from the server; a byte that is not UTF-8 all the
// same becomes U+FFFD rather than a frame no client can read.
template <typename Json>
std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

nlohmann::ordered_json PointerObject(unsigned pointer, const std::string& name) {
  nlohmann::ordered_json object{{"pointer", pointer}};
  if (!name.empty()) object["name"] = name;
  return object;
}

}  // namespace

std::string State(std::string_view server, const std::string& holder,
                  const std::vector<unsigned>& present, std::span<const std::string> names) {
  // In this order, for the eye: the server, then who is there.
  nlohmann::ordered_json state{{"server", std::string(server)}};
  if (!holder.empty()) state["holder"] = holder;
  nlohmann::ordered_json pointers = nlohmann::ordered_json::array();
  for (const unsigned pointer : present) {
    pointers.push_back(PointerObject(pointer, pointer < names.size() ? names[pointer] : ""));
  }
  state["present"] = std::move(pointers);
  return Dump(state);
}

std::string Presence(unsigned pointer, bool joined, const std::string& name) {
  if (joined && !name.empty()) {
    return Dump(nlohmann::ordered_json{{"join", PointerObject(pointer, name)}});
  }
  std::string out(joined ? "{\"join\":{\"pointer\":" : "{\"leave\":{\"pointer\":");
  PutUnsigned(out, pointer);
  out.append("}}");
  return out;
}

std::string Rename(unsigned pointer, const std::string& name) {
  return Dump(nlohmann::ordered_json{
      {"rename", nlohmann::ordered_json{{"pointer", pointer}, {"name", name}}}});
}

std::string Error(std::string_view text) {
  return nlohmann::json{{"error", std::string(text)}}.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Outcome ReadRequest(std::string_view text, Request& request) {
  const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  if (message.is_discarded()) return Outcome::Failure("not JSON");
  if (!message.is_object() || message.size() != 1) return Outcome::Failure(kShapes);
  const std::string verb = message.begin().key();
  const nlohmann::json& body = message.begin().value();
  if (verb == "batch") {
    if (!body.is_boolean()) return Outcome::Failure(R"("batch" must be true or false)");
    request.kind = Request::Kind::kBatch;
    request.batch = body.get<bool>();
    return Outcome::Ok();
  }
  if (verb != "vibrate" && verb != "send" && verb != "show" && verb != "drop") {
    return Outcome::Failure(kShapes);
  }
  request.kind = Request::Kind::kCommand;
  return ReadCommand(verb, body, request.command);
}

}  // namespace bridge::json
