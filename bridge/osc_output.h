// Every report, as OSC over UDP, to each --osc target. Sends without waiting:
// a datagram the system cannot take at once is dropped, as UDP may.
//
// Reports that arrive together go as one bundle of their messages. On a
// loopback most of a datagram's cost is its delivery, which the sender pays:
// a bundle of a few reports costs about what one message does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "bridge/options.h"
#include "bridge/output.h"

namespace bridge {

class OscOutput : public Output {
 public:
  // Resolves the targets; throws boost::system::system_error when one
  // cannot be.
  OscOutput(boost::asio::io_context& io, const std::vector<Endpoint>& targets);

  void Reports(const tvxhdv_report* reports, int count, Clock::time_point arrived) override;
  void Server(bool running) override;
  // OSC has no word for it: the targets hear nothing until a server is read.
  void Busy(const std::string&) override {}

 private:
  void SendToAll(const std::string* datagrams, std::size_t count);

  struct Target {
    boost::asio::ip::udp::endpoint where;
    std::unique_ptr<boost::asio::ip::udp::socket> socket;
  };
  std::vector<Target> targets_;
  std::vector<std::string> datagrams_;  // the reader's thread only; kept for its capacity
};

}  // namespace bridge
