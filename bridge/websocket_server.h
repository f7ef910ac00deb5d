// The WebSocket port: every report as one JSON text frame to every client
// (or a pass's reports as one array, for a client that asks), the server's
// state and who is present as a client connects and as they change,
// commands from the clients, and at "/" the screen page. Each client has a
// queue of its own; one that falls more than a second behind, or answers
// no ping for 30 s, is closed with a reason while the others go on.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "bridge/commands.h"
#include "bridge/output.h"

namespace bridge {

class WebSocketServer : public Output {
 public:
  // Where a test steps in: a failure for the next accept instead of the
  // system's, and the wait between accepts while descriptors run out.
  struct Seams {
    std::function<boost::system::error_code()> acceptFault;
    std::function<void(std::chrono::milliseconds, std::function<void()>)> pause;
    // The clock pings are timed by; and, instead of a timer, a function
    // handed the round of pings (every 10 s) for the test to run.
    std::function<Clock::time_point()> now;
    std::function<void(std::function<void()>)> pingRound;
  };

  // Listens on where; throws boost::system::system_error when it cannot.
  // Everything but the two Output calls runs on io's thread, say too (one
  // line for the person who started the bridge). Web pages other than the
  // bridge's own get a 403 unless their canonical origin is in allowOrigins.
  WebSocketServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& where,
                  CommandQueue& commands, std::function<void(const std::string&)> say,
                  const std::vector<std::string>& allowOrigins = {}, Seams seams = {});
  ~WebSocketServer() override;
  unsigned short Port() const;

  void Reports(const tvxhdv_report* reports, int count, Clock::time_point arrived) override;
  void Server(bool running) override;
  void Busy(const std::string& holder) override;
  void Presence(unsigned pointer, bool joined, const std::vector<unsigned>& present,
                const std::string& name) override;
  void Renamed(unsigned pointer, const std::string& name) override;

  struct Hub;

 private:
  std::shared_ptr<Hub> hub_;
};

}  // namespace bridge
