// The outputs on a loopback, driven as the reader drives them: a pass of
// many reports reaches an OSC receiver once each, in bundles that fit a
// frame; a WebSocket client that reads, but slower than the reports come,
// is closed once what it has not read is a second old. The reports' times
// are the test's own, one tick of 10 ms per pass.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/osc_message.h"
#include "bridge/osc_output.h"
#include "bridge/websocket_server.h"

namespace bridge {
namespace {

namespace asio = boost::asio;
using udp = asio::ip::udp;
using tcp = asio::ip::tcp;
namespace websocket = boost::beast::websocket;
using boost::system::error_code;

// The frames of the reports in one datagram, in order; the bundle's size in
// elements goes to bundled.
std::vector<int> FramesOf(std::string_view datagram, std::size_t& bundled) {
  std::vector<std::string_view> elements;
  if (datagram.substr(0, 8) == std::string_view("#bundle\0", 8)) {
    for (std::size_t at = 16; at + 4 <= datagram.size();) {
      const auto* size = reinterpret_cast<const unsigned char*>(datagram.data() + at);
      const std::size_t length =
          std::size_t{size[0]} << 24 | size[1] << 16 | size[2] << 8 | size[3];
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
      receiver.async_receive_from(
          asio::buffer(datagram), sender, [&, self](const error_code& error, std::size_t size) {
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

// A WebSocket client on the server's own context; every wait runs it.
struct SlowClient {
  asio::io_context& io;
  websocket::stream<tcp::socket> ws{io};
  boost::beast::flat_buffer buffer;

  SlowClient(asio::io_context& context, unsigned short port) : io(context) {
    tcp::socket& socket = ws.next_layer();
    socket.open(tcp::v4());
    // Small, so that what it has not read stays on the bridge's side.
    socket.set_option(asio::socket_base::receive_buffer_size(4096));
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
    bool done = false;
    ws.async_handshake("127.0.0.1", "/", [&](const error_code&) { done = true; });
    RunUntil(done);
  }

  // A wait that outlasts its deadline ends the connection, and with it the
  // operation that still holds the caller's variables.
  void RunUntil(const bool& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      io.run_one_for(std::chrono::seconds(1));
    }
    EXPECT_TRUE(done);
    if (done) return;
    error_code ignored;
    ws.next_layer().close(ignored);
    while (!done) io.run_one();
  }

  // One message's text, or empty once the bridge closed the connection.
  std::string Read() {
    bool done = false;
    error_code failed;
    buffer.clear();
    ws.async_read(buffer, [&](const error_code& error, std::size_t) {
      failed = error;
      done = true;
    });
    RunUntil(done);
    return failed ? std::string() : boost::beast::buffers_to_string(buffer.data());
  }
};

// Ticks until the bridge let the client go, and how far behind it was then:
// how old the oldest report it had not read yet was.
struct LetGo {
  bool closed = false;
  websocket::close_code code{};
  std::chrono::milliseconds behind{};
};

LetGo ReadSlowerThanTheReportsCome(int reportsPerTick, int readsPerTick) {
  constexpr auto kTick = std::chrono::milliseconds(10);
  asio::io_context io;
  CommandQueue commands;
  int tick = 0;
  int closedAtTick = -1;
  WebSocketServer server(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0), commands,
                         [&](const std::string&) { closedAtTick = tick; });
  // A client that comes while no server runs is told at once: its first
  // message shows it has joined.
  server.Server(false);
  io.poll();
  SlowClient client(io, server.Port());
  if (client.Read() != R"({"server":"gone"})") return {};

  std::vector<tvxhdv_report> reports(static_cast<std::size_t>(reportsPerTick));
  const Clock::time_point start = Clock::now();
  int lastReadTick = 0;
  LetGo result;
  for (tick = 1; tick < 2000 && !result.closed; ++tick) {
    for (tvxhdv_report& report : reports) report.frame = static_cast<std::uint32_t>(tick);
    server.Reports(reports.data(), reportsPerTick, start + tick * kTick);
    io.poll();
    for (int read = 0; read < readsPerTick && !result.closed; ++read) {
      const std::string message = client.Read();
      result.closed = message.empty();
      if (closedAtTick < 0 && !result.closed) {
        lastReadTick = std::stoi(message.substr(message.rfind(':') + 1));  // "frame":N}
      }
    }
  }
  result.code = static_cast<websocket::close_code>(client.ws.reason().code);
  result.behind = (closedAtTick - lastReadTick) * kTick;
  return result;
}

TEST(WebSocketServer, AClientThatReadsSlowerThanTheReportsComeIsLetGoASecondBehind) {
  // What the bridge has sent and the client not read counts too: a send
  // holds at most a bounded share of the queue, or a client that reads
  // steadily would be let go only up to two seconds behind.
  for (const auto& [reports, reads] : {std::pair{300, 100}, std::pair{150, 100}}) {
    const LetGo letGo = ReadSlowerThanTheReportsCome(reports, reads);
    EXPECT_TRUE(letGo.closed) << reports;
    EXPECT_EQ(letGo.code, websocket::close_code::policy_error) << reports;
    EXPECT_GT(letGo.behind, std::chrono::milliseconds(1000)) << reports;
    EXPECT_LT(letGo.behind, std::chrono::milliseconds(1200)) << reports;
  }
}

}  // namespace
}  // namespace bridge
