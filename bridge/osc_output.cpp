#include "bridge/osc_output.h"

#include <algorithm>

#include "platform/send_batching.h"

namespace bridge {

namespace asio = boost::asio;
using asio::ip::udp;

OscOutput::OscOutput(asio::io_context& io, const std::vector<Endpoint>& targets,
                     osc::Scheme scheme, std::chrono::milliseconds aliveInterval)
    : scheme_(scheme), aliveTimer_(io), aliveInterval_(aliveInterval) {
  udp::resolver resolver(io);
  for (const Endpoint& target : targets) {
    const auto found = resolver.resolve(target.host, std::to_string(target.port));
    Target resolved;
    resolved.where = *found.begin();
    resolved.socket = std::make_unique<udp::socket>(io, resolved.where.protocol());
    resolved.socket->non_blocking(true);
    targets_.push_back(std::move(resolved));
  }
  ScheduleAlive();
}

void OscOutput::SendToAll(const std::string* datagrams, std::size_t count) {
  for (Target& target : targets_) {
    platform::SendDatagrams(target.socket->native_handle(), target.where.data(),
                            target.where.size(), datagrams, count);
  }
}

void OscOutput::Reports(const tvxhdv_report* reports, int count, Clock::time_point) {
  const std::size_t each = osc::ReportsPerDatagram(scheme_);
  const auto total = static_cast<std::size_t>(count);
  const std::size_t needed = (total + each - 1) / each;
  if (datagrams_.size() < needed) datagrams_.resize(needed);
  for (std::size_t i = 0; i < needed; ++i) {
    const std::size_t first = i * each;
    osc::EncodeReports({reports + first, std::min(each, total - first)}, scheme_, datagrams_[i]);
  }
  SendToAll(datagrams_.data(), needed);
}

void OscOutput::Server(bool running) {
  const std::string datagram = osc::EncodeServer(running);
  SendToAll(&datagram, 1);
  if (!running && !present_.empty()) {
    present_.clear();
    SendAlive();
  }
}

void OscOutput::Presence(unsigned pointer, bool joined, const std::vector<unsigned>& present,
                         const std::string& name) {
  present_ = present;
  const std::string datagram = osc::EncodePresence(pointer, joined, present_);
  SendToAll(&datagram, 1);
  if (joined && !name.empty()) Renamed(pointer, name);
}

void OscOutput::Renamed(unsigned pointer, const std::string& name) {
  const std::string datagram = osc::EncodeName(pointer, name);
  SendToAll(&datagram, 1);
}

void OscOutput::SendAlive() {
  const std::string datagram = osc::EncodeAlive(present_);
  SendToAll(&datagram, 1);
}

void OscOutput::ScheduleAlive() {
  aliveTimer_.expires_after(aliveInterval_);
  aliveTimer_.async_wait([this](const boost::system::error_code& error) {
    if (error) return;  // the output is going
    SendAlive();
    ScheduleAlive();
  });
}

}  // namespace bridge
