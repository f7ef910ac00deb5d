// Takes /tvxhdv/vibrate and /tvxhdv/send on the --osc-listen port and queues
// them for the phones; a message it cannot use gets /tvxhdv/error back to
// its sender.
#pragma once

#include <array>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "bridge/commands.h"
#include "bridge/osc_message.h"
#include "bridge/outcome.h"

namespace bridge {

// /tvxhdv/vibrate i s | i i, /tvxhdv/send i i (a whole float is taken for an
// int: many patching tools send only floats). Fills command from message, or
// says what is wrong with it.
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
