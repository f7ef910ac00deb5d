// Every report, as OSC over UDP, to each --osc target. Sends without waiting:
// a datagram the system cannot take at once is dropped, as UDP may.
//
// Reports that arrive together go as bundles of their messages, each bundle
// within one Ethernet frame. On a loopback most of a datagram's cost is its
// delivery, which the sender pays: a bundle of a few reports costs about
// what one message does.
//
// Presence goes out as phones come and go, and the list of those present
// again every second, so that a receiver started late, or one that lost a
// datagram, learns who is there without asking.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "bridge/options.h"
#include "bridge/osc_message.h"
#include "bridge/output.h"

namespace bridge {

class OscOutput : public Output {
 public:
  static constexpr std::chrono::milliseconds kAliveInterval{1000};

  // Resolves the targets; throws boost::system::system_error when one
  // cannot be. The alive list goes out every aliveInterval from io's
  // thread, which must be the reader's.
  OscOutput(boost::asio::io_context& io, const std::vector<Endpoint>& targets,
            osc::Scheme scheme = osc::Scheme::kByPointer,
            std::chrono::milliseconds aliveInterval = kAliveInterval);

  void Reports(const tvxhdv_report* reports, int count, Clock::time_point arrived) override;
  // A server that went takes its phones with it: the list is then empty.
  void Server(bool running) override;
  // OSC has no word for it: the targets hear nothing until a server is read.
  void Busy(const std::string&) override {}
  // A named phone's join is followed by its name, as a rename is.
  void Presence(unsigned pointer, bool joined, const std::vector<unsigned>& present,
                const std::string& name) override;
  void Renamed(unsigned pointer, const std::string& name) override;

 private:
  void SendToAll(const std::string* datagrams, std::size_t count);
  void SendAlive();
  void ScheduleAlive();

  struct Target {
    boost::asio::ip::udp::endpoint where;
    std::unique_ptr<boost::asio::ip::udp::socket> socket;
  };
  std::vector<Target> targets_;
  osc::Scheme scheme_;
  std::vector<std::string> datagrams_;  // the reader's thread only; kept for their capacity
  std::vector<unsigned> present_;
  boost::asio::steady_timer aliveTimer_;
  std::chrono::milliseconds aliveInterval_;
};

}  // namespace bridge
