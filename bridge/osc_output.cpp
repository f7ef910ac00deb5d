#include "bridge/osc_output.h"

#include <algorithm>

#include "bridge/osc_message.h"
#include "platform/send_batching.h"

namespace bridge {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

// A bundle of 24 reports (1,456 bytes) fits one Ethernet frame: a network
// that loses a fragment would lose the whole datagram.
constexpr int kReportsPerBundle = 24;

}  // namespace

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

void OscOutput::SendToAll(const std::string* datagrams, std::size_t count) {
  for (Target& target : targets_) {
    platform::SendDatagrams(target.socket->native_handle(), target.where.data(),
                            target.where.size(), datagrams, count);
  }
}

void OscOutput::Reports(const tvxhdv_report* reports, int count, Clock::time_point) {
  datagrams_.clear();
  for (int first = 0; first < count; first += kReportsPerBundle) {
    const int size = std::min(count - first, kReportsPerBundle);
    datagrams_.push_back(osc::EncodeReports({reports + first, static_cast<std::size_t>(size)}));
  }
  SendToAll(datagrams_.data(), datagrams_.size());
}

void OscOutput::Server(bool running) {
  const std::string datagram = osc::EncodeServer(running);
  SendToAll(&datagram, 1);
}

}  // namespace bridge
