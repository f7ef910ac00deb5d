// The outputs on a loopback, driven as the reader drives them: a pass of
// many reports reaches an OSC receiver once each, in order, in bundles that
// fit a frame, and presence as it changes and every interval; a WebSocket client that reads, but slower than the reports come,
// is closed once what it has not read is a second old. The reports' times
// are the test's own, one tick of 10 ms per pass. And the reader's side of
// the commands: a drop takes what was queued before it for that phone.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <utility>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/osc_message.h"
#include "bridge/osc_output.h"
#include "bridge/report_reader.h"
#include "bridge/websocket_server.h"
#include "tests/support/temp_folder.h"

namespace bridge {
namespace {

namespace asio = boost::asio;
using udp = asio::ip::udp;
using tcp = asio::ip::tcp;
namespace websocket = boost::beast::websocket;
using boost::system::error_code;

// A receiver on a loopback port, for an OscOutput to send to.
struct OscReceiver {
  asio::io_context& io;
  udp::socket socket{io, udp::endpoint(asio::ip::address_v4::loopback(), 0)};
  std::array<char, 65536> datagram{};

  explicit OscReceiver(asio::io_context& context) : io(context) {
    socket.set_option(asio::socket_base::receive_buffer_size(1 << 20));
  }
  std::vector<Endpoint> Target() const { return {{"127.0.0.1", socket.local_endpoint().port()}}; }
  std::string Receive() { return std::string(datagram.data(), socket.receive(asio::buffer(datagram))); }
};

TEST(OscOutput, APassOfManyReportsGoesOutOnceEachInBundlesThatFitAFrame) {
  for (const osc::Scheme scheme : {osc::Scheme::kByPointer, osc::Scheme::kLegacy}) {
    SCOPED_TRACE(static_cast<int>(scheme));
    asio::io_context io;
    OscReceiver receiver(io);
    OscOutput output(io, receiver.Target(), scheme);
    // Beyond the pass too, so that a bundle that reads past it shows.
    std::array<tvxhdv_report, 300> reports{};
    for (std::size_t i = 0; i < reports.size(); ++i) {
      reports[i].frame = static_cast<std::uint32_t>(i);
      reports[i].pointer = static_cast<std::uint32_t>(i % 80);
      reports[i].x = static_cast<std::uint32_t>(i);
    }
    constexpr std::size_t kCount = 250;
    output.Reports(reports.data(), kCount, Clock::now());
    output.Server(false);  // what comes next shows a report sent twice or left out

    std::size_t sent = 0;
    for (std::string got = receiver.Receive(); got != osc::EncodeServer(false);
         got = receiver.Receive()) {
      EXPECT_LE(got.size(), 1472u);  // an Ethernet frame's payload
      std::size_t size = 1;
      while (size <= 24 && got != osc::EncodeReports({reports.data() + sent, size}, scheme)) ++size;
      ASSERT_LE(size, 24u) << "no bundle of the reports from " << sent;
      sent += size;
    }
    EXPECT_EQ(sent, kCount);
  }
}

// Joins and leaves go out with the list of those present; the list again
// every interval, and empty once the server went.
TEST(OscOutput, PresenceGoesOutAtOnceAndTheAliveListEveryInterval) {
  asio::io_context io;
  OscReceiver receiver(io);
  OscOutput output(io, receiver.Target(), osc::Scheme::kByPointer, std::chrono::milliseconds(20));
  const std::vector<unsigned> present = {3, 12};
  output.Presence(12, true, present, "Mia");
  EXPECT_EQ(receiver.Receive(), osc::EncodePresence(12, true, present));
  EXPECT_EQ(receiver.Receive(), osc::EncodeName(12, "Mia"));
  for (int i = 0; i < 2; ++i) {
    io.run_one_for(std::chrono::seconds(30));
    EXPECT_EQ(receiver.Receive(), osc::EncodeAlive(present));
  }
  output.Server(false);
  EXPECT_EQ(receiver.Receive(), osc::EncodeServer(false));
  EXPECT_EQ(receiver.Receive(), osc::EncodeAlive({}));
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

// Ticks until the bridge lets the client go, which it must do once the
// oldest report the client has not read is a second old. What the bridge
// has sent and the client not read counts too: a send holds at most a
// bounded share of the queue, or a client that reads steadily would be let
// go only up to two seconds behind.
void ExpectLetGoASecondBehind(int reportsPerTick, int readsPerTick) {
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
  ASSERT_EQ(client.Read(), R"({"server":"gone","present":[]})");

  std::vector<tvxhdv_report> reports(static_cast<std::size_t>(reportsPerTick));
  const Clock::time_point start = Clock::now();
  int lastReadTick = 0;
  bool closed = false;
  for (tick = 1; tick < 2000 && !closed; ++tick) {
    for (tvxhdv_report& report : reports) report.frame = static_cast<std::uint32_t>(tick);
    server.Reports(reports.data(), reportsPerTick, start + tick * kTick);
    io.poll();
    for (int read = 0; read < readsPerTick && !closed; ++read) {
      const std::string message = client.Read();
      closed = message.empty();
      if (closedAtTick < 0 && !closed) {
        lastReadTick = std::stoi(message.substr(message.rfind(':') + 1));  // "frame":N}
      }
    }
  }
  ASSERT_TRUE(closed);
  EXPECT_EQ(client.ws.reason().code, websocket::close_code::policy_error);
  const auto behind = (closedAtTick - lastReadTick) * kTick;
  EXPECT_GT(behind, std::chrono::milliseconds(1000));
  EXPECT_LT(behind, std::chrono::milliseconds(1200));
}

TEST(WebSocketServer, AClientThatReadsSlowerThanTheReportsComeIsLetGoASecondBehind) {
  for (const auto& [reports, reads] : {std::pair{300, 100}, std::pair{150, 100}}) {
    SCOPED_TRACE(reports);
    ExpectLetGoASecondBehind(reports, reads);
  }
}

TEST(ReportReader, ADropTakesTheCommandsQueuedBeforeItForThatPhoneOnly) {
  // No server runs in an empty folder: every command put fails, and says so.
  TempFolder folder;
  CommandQueue commands;
  std::vector<std::pair<int, unsigned>> tried;
  std::atomic<bool> stop{false};
  const auto push = [&](int pointer, unsigned code, bool drop) {
    PhoneCommand command;
    command.pointer = pointer;
    command.code = code;
    command.cancel = drop;
    command.failed = [&, pointer, code](const std::string&) {
      tried.emplace_back(pointer, code);
      if (tried.size() >= 2) stop = true;
    };
    ASSERT_TRUE(commands.Push(std::move(command)));
  };
  push(3, 0xB1, false);
  push(4, 0xB2, false);
  push(3, 0, true);
  push(3, 0xD7, false);
  // The reader serves the sockets every 10 ms while it waits for a server:
  // a drop that took too much ends the test there.
  int serves = 0;
  ReportReader reader(folder.Path(), {}, commands, [](const std::string&) {}, {},
                      [&] { stop = stop || ++serves > 1000; });
  reader.Run(stop);
  EXPECT_EQ(tried, (std::vector<std::pair<int, unsigned>>{{4, 0xB2}, {3, 0xD7}}));
}

}  // namespace
}  // namespace bridge
