#include "bridge/osc_output.h"

#include <boost/asio/buffer.hpp>

#include "bridge/osc_message.h"

namespace bridge {

namespace asio = boost::asio;
using asio::ip::udp;

OscOutput::OscOutput(asio::io_context& io, const std::vector<Endpoint>& targets) {
  udp::resolver resolver(io);
  for (const Endpoint& target : targets) {
    const auto found = resolver.resolve(target.host, std::to_string(target.port));
    Target resolved;
    resolved.where = *found.begin();
    resolved.socket = std::make_unique<udp::socket>(io, resolved.where.protocol());
    resolved.socket->non_blocking(true);
    targets_.push_back(std::move(resolved));
  }
}

void OscOutput::SendToAll(const std::string& datagram) {
  for (Target& target : targets_) {
    boost::system::error_code ignored;
    target.socket->send_to(asio::buffer(datagram), target.where, 0, ignored);
  }
}

void OscOutput::Reports(const tvxhdv_report* reports, int count, Clock::time_point) {
  for (int i = 0; i < count; ++i) SendToAll(osc::EncodeReport(reports[i]));
}

void OscOutput::Server(bool running) { SendToAll(osc::EncodeServer(running)); }

}  // namespace bridge
