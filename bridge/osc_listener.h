// Takes commands for the phones on the --osc-listen port and queues them; a
// message it cannot use gets /tvxhdv/error back to its sender.
#pragma once

#include <array>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "bridge/commands.h"
#include "bridge/osc_message.h"
#include "bridge/outcome.h"

namespace bridge {

// For pointer 3, the address names it and the command, so that a patching
// tool needs no list of its own to send it:
//   /tvxhdv/p3/vibrate s | i   a pattern by name or 1 to 6
//   /tvxhdv/p3/show s [i]      "correct", "wrong", "clear", "colour" n, "digit" n
//   /tvxhdv/p3/send i          a code the phone's page knows
//   /tvxhdv/p3/cancel          drops what still waits for pointer 3
// (/tvxhdv/3/... too), and each as /tvxhdv/vibrate i s ... with 3 first. A whole float is taken
// for an int: many patching tools send only floats. Fills command from
// message, or says what is wrong with it.
Outcome ReadOscCommand(const osc::Message& message, PhoneCommand& command);

class OscListener {
 public:
  // Listens on where; throws boost::system::system_error when it cannot.
  OscListener(boost::asio::io_context& io, const boost::asio::ip::udp::endpoint& where,
              CommandQueue& commands);
  unsigned short Port() const { return socket_.local_endpoint().port(); }

 private:
  void Receive();
  void Take(std::size_t size);
  void SendError(const boost::asio::ip::udp::endpoint& to, const std::string& text);

  boost::asio::io_context& io_;
  boost::asio::ip::udp::socket socket_;
  CommandQueue& commands_;
  std::array<char, 65536> packet_{};
  boost::asio::ip::udp::endpoint sender_;
};

}  // namespace bridge
