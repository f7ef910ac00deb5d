#include "bridge/osc_listener.h"

#include <cmath>
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

}  // namespace

Outcome ReadOscCommand(const osc::Message& message, PhoneCommand& command) {
  const bool vibrate = message.address == "/tvxhdv/vibrate";
  if (!vibrate && message.address != "/tvxhdv/send") {
    return Outcome::Failure("unknown address " + message.address +
                            ": TVXBridge takes /tvxhdv/vibrate and /tvxhdv/send");
  }
  const Outcome expected = Outcome::Failure(
      vibrate ? "/tvxhdv/vibrate takes i s (pointer, pattern name) or i i (pointer, pattern 1 to 6)"
              : "/tvxhdv/send takes i i (pointer, code 0 to 255)");
  long long pointer = 0;
  if (message.arguments.size() != 2 || !WholeNumber(message.arguments[0], pointer)) return expected;
  long long code = 0;
  if (vibrate) {
    const osc::Argument& pattern = message.arguments[1];
    long long number = 0;
    const auto* name = std::get_if<std::string>(&pattern);
    const auto found = name != nullptr              ? PatternByName(*name)
                       : WholeNumber(pattern, number) ? PatternByNumber(number)
                                                      : std::nullopt;
    if (!found) {
      return Outcome::Failure(std::string("/tvxhdv/vibrate: the pattern must be one of ") +
                              kPatternNames + ", or 1 to 6");
    }
    code = *found;
  } else if (!WholeNumber(message.arguments[1], code)) {
    return expected;
  }
  const Outcome checked = CheckCommand(pointer, code);
  if (!checked) return Outcome::Failure(message.address + ": " + checked.Error());
  command.pointer = static_cast<int>(pointer);
  command.code = static_cast<unsigned>(code);
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
