// The outputs on a loopback, driven as the reader drives them: a pass of
// many reports reaches an OSC receiver once each, in bundles that fit a
// frame.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "bridge/osc_message.h"
#include "bridge/osc_output.h"

namespace bridge {
namespace {

namespace asio = boost::asio;
using udp = asio::ip::udp;
using boost::system::error_code;

// The frames of the reports in one datagram, in order; the bundle's size in
// elements goes to bundled.
std::vector<int> FramesOf(std::string_view datagram, std::size_t& bundled) {
  std::vector<std::string_view> elements;
  if (datagram.substr(0, 8) == std::string_view("#bundle\0", 8)) {
    for (std::size_t at = 16; at + 4 <= datagram.size();) {
      const auto* size = reinterpret_cast<const unsigned char*>(datagram.data() + at);
      const std::size_t length = std::size_t{size[0]} << 24 | size[1] << 16 | size[2] << 8 | size[3];
      elements.push_back(datagram.substr(at + 4, length));
      at += 4 + length;
    }
  } else {
    elements.push_back(datagram);
  }
  bundled = elements.size();
  std::vector<int> frames;
  for (const std::string_view element : elements) {
    std::string problem;
    const auto message = osc::Decode(element, problem);
    frames.push_back(message ? std::get<std::int32_t>(message->arguments.at(6)) : -1);
  }
  return frames;
}

TEST(OscOutput, APassOfManyReportsGoesOutOnceEachInBundlesOfAtMost24) {
  asio::io_context io;
  udp::socket receiver(io, udp::endpoint(asio::ip::address_v4::loopback(), 0));
  OscOutput output(io, {{"127.0.0.1", receiver.local_endpoint().port()}});
  // Beyond the pass too, so that a bundle that reads past it shows.
  std::array<tvxhdv_report, 512> reports{};
  for (std::size_t i = 0; i < reports.size(); ++i) reports[i].frame = static_cast<std::uint32_t>(i);

  for (const int count : {30, 250}) {
    std::vector<int> frames;
    std::array<char, 65536> datagram;
    udp::endpoint sender;
    auto receive = [&](const auto& self) -> void {
      receiver.async_receive_from(asio::buffer(datagram), sender,
                                  [&, self](const error_code& error, std::size_t size) {
                                    if (error) return;
                                    std::size_t bundled = 0;
                                    const auto got = FramesOf({datagram.data(), size}, bundled);
                                    EXPECT_LE(bundled, 24u);
                                    frames.insert(frames.end(), got.begin(), got.end());
                                    // Whatever else came, so that a report sent twice shows.
                                    if (static_cast<int>(frames.size()) < count || receiver.available() > 0) {
                                      self(self);
                                    }
                                  });
    };
    output.Reports(reports.data(), count, Clock::now());
    receive(receive);
    io.restart();
    io.run_for(std::chrono::seconds(30));
    std::vector<int> expected(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(frames, expected) << count << " reports";
  }
}

}  // namespace
}  // namespace bridge
