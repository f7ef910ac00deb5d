#include "bridge/osc_listener.h"

#include <cmath>
#include <span>
#include <string_view>
#include <variant>

#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>

namespace bridge {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

bool WholeNumber(const osc::Argument& argument, long long& number) {
  if (const auto* integer = std::get_if<std::int32_t>(&argument)) {
    number = *integer;
    return true;
  }
  if (const auto* real = std::get_if<float>(&argument)) {
    if (std::isfinite(*real) && std::fabs(*real) < 1e9f && std::floor(*real) == *real) {
      number = static_cast<long long>(*real);
      return true;
    }
  }
  return false;
}

constexpr std::string_view kPrefix = "/tvxhdv/";

// The pointer a command's address names: /tvxhdv/p3/vibrate, as the reports
// name it, or /tvxhdv/3/vibrate.
bool PointerInAddress(std::string_view text, long long& pointer) {
  if (text.starts_with('p')) text.remove_prefix(1);
  if (text.empty() || text.size() > 3) return false;
  pointer = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return false;
    pointer = pointer * 10 + (digit - '0');
  }
  return true;
}

// What the command takes after the pointer, for the error texts.
std::string Takes(std::string_view verb, bool pointerFirst) {
  const std::string p = pointerFirst ? "i " : "";
  const std::string named = pointerFirst ? "pointer, " : "";
  if (verb == "vibrate") {
    return p + "s (" + named + "pattern name) or " + p + "i (" + named + "pattern 1 to 6)";
  }
  if (verb == "send") return p + "i (" + named + "code)";
  if (verb == "show") return p + "s [i] (" + named + kShowNames + ")";
  return pointerFirst ? "i (pointer)" : "nothing";
}

Outcome ReadPattern(std::span<const osc::Argument> arguments, PhoneCommand& command,
                    const Outcome& expected) {
  if (arguments.size() != 1) return expected;
  long long number = 0;
  const auto* name = std::get_if<std::string>(&arguments[0]);
  const auto found = name != nullptr                    ? PatternByName(*name)
                     : WholeNumber(arguments[0], number) ? PatternByNumber(number)
                                                         : std::nullopt;
  if (!found) {
    return Outcome::Failure(std::string("the pattern must be one of ") + kPatternNames +
                            ", or 1 to 6");
  }
  command.code = *found;
  return Outcome::Ok();
}

Outcome ReadShow(std::span<const osc::Argument> arguments, PhoneCommand& command,
                 const Outcome& expected) {
  const auto* what = arguments.empty() ? nullptr : std::get_if<std::string>(&arguments[0]);
  if (what == nullptr || arguments.size() > 2) return expected;
  std::optional<long long> n;
  long long number = 0;
  if (arguments.size() == 2) {
    if (!WholeNumber(arguments[1], number)) return expected;
    n = number;
  }
  const auto code = ShowCodeByName(*what, n);
  if (!code) return Outcome::Failure(std::string("the phone shows ") + kShowNames);
  command.code = *code;
  return Outcome::Ok();
}

Outcome ReadCode(std::span<const osc::Argument> arguments, PhoneCommand& command,
                 const Outcome& expected) {
  long long number = 0;
  if (arguments.size() != 1 || !WholeNumber(arguments[0], number)) return expected;
  command.code = static_cast<unsigned>(number < 0 || number > 255 ? 0 : number);
  return CheckCommand(command.pointer, number);
}

// Reads the arguments after the pointer into command.
Outcome ReadVerb(std::string_view verb, std::span<const osc::Argument> arguments,
                 PhoneCommand& command, const Outcome& expected) {
  if (verb == "vibrate") return ReadPattern(arguments, command, expected);
  if (verb == "show") return ReadShow(arguments, command, expected);
  if (verb == "send") return ReadCode(arguments, command, expected);
  if (!arguments.empty()) return expected;
  command.cancel = true;
  return Outcome::Ok();
}

}  // namespace

Outcome ReadOscCommand(const osc::Message& message, PhoneCommand& command) {
  const std::string_view address = message.address;
  const Outcome unknown = Outcome::Failure(
      "unknown address " + message.address +
      ": TVXBridge takes /tvxhdv/pN/vibrate, /tvxhdv/pN/show, /tvxhdv/pN/send and "
      "/tvxhdv/pN/cancel for pointer N, and each as /tvxhdv/vibrate ... with N first");
  if (!address.starts_with(kPrefix)) return unknown;
  std::string_view verb = address.substr(kPrefix.size());
  std::span<const osc::Argument> arguments = message.arguments;
  long long pointer = 0;
  const std::size_t slash = verb.find('/');
  const bool pointerFirst = slash == std::string_view::npos;
  if (!pointerFirst && !PointerInAddress(verb.substr(0, slash), pointer)) return unknown;
  if (!pointerFirst) verb.remove_prefix(slash + 1);
  if (verb != "vibrate" && verb != "send" && verb != "show" && verb != "cancel") return unknown;
  const Outcome expected =
      Outcome::Failure(message.address + " takes " + Takes(verb, pointerFirst));
  if (pointerFirst) {
    if (arguments.empty() || !WholeNumber(arguments[0], pointer)) return expected;
    arguments = arguments.subspan(1);
  }
  const Outcome pointerChecked = CheckPointer(pointer);
  if (!pointerChecked) return Outcome::Failure(message.address + ": " + pointerChecked.Error());
  PhoneCommand read;
  read.pointer = static_cast<int>(pointer);
  const Outcome verbRead = ReadVerb(verb, arguments, read, expected);
  if (!verbRead) {
    return verbRead.Error().starts_with(message.address)
               ? verbRead
               : Outcome::Failure(message.address + ": " + verbRead.Error());
  }
  command = std::move(read);
  return Outcome::Ok();
}

OscListener::OscListener(asio::io_context& io, const udp::endpoint& where,
                         CommandQueue& commands)
    : io_(io), socket_(io, where), commands_(commands) {
  socket_.non_blocking(true);  // an answer never holds up the next message
  Receive();
}

void OscListener::Receive() {
  socket_.async_receive_from(asio::buffer(packet_), sender_,
                             [this](const boost::system::error_code& error, std::size_t size) {
                               if (error == asio::error::operation_aborted) return;
                               // An error (on Windows: an earlier answer that
                               // found no one) loses only that message.
                               if (!error) Take(size);
                               Receive();
                             });
}

void OscListener::Take(std::size_t size) {
  std::string problem;
  const auto message = osc::Decode(std::string_view(packet_.data(), size), problem);
  if (!message) {
    SendError(sender_, problem);
    return;
  }
  PhoneCommand command;
  const Outcome read = ReadOscCommand(*message, command);
  if (!read) {
    SendError(sender_, read.Error());
    return;
  }
  const udp::endpoint sender = sender_;
  command.failed = [this, sender](const std::string& why) {
    asio::post(io_, [this, sender, why] { SendError(sender, why); });
  };
  if (!commands_.Push(std::move(command))) {
    SendError(sender, "too many commands wait to be put: this one was dropped");
  }
}

void OscListener::SendError(const udp::endpoint& to, const std::string& text) {
  boost::system::error_code ignored;
  socket_.send_to(asio::buffer(osc::EncodeError(text)), to, 0, ignored);
}

}  // namespace bridge
