// The WebSocket's door: which upgrades it takes (the bridge's own page and
// programs without Origin; any other page gets a 403 and no connection,
// unless --allow-origin names it; each refused origin is told once), and
// how it waits out a process without descriptors.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/websocket_server.h"

namespace bridge {
namespace {

constexpr const char* kVibrate = R"({"vibrate":{"pointer":3,"pattern":"long-double"}})";

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;
using boost::system::error_code;

// The server on a thread of its own; clients block on theirs.
struct RunningServer {
  asio::io_context io;
  CommandQueue commands;
  std::mutex mutex;
  std::vector<std::string> said;
  WebSocketServer server;
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  std::thread thread;

  explicit RunningServer(const std::vector<std::string>& allow, WebSocketServer::Seams seams = {})
      : server(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0), commands,
               [this](const std::string& line) {
                 std::lock_guard<std::mutex> lock(mutex);
                 said.push_back(line);
               },
               allow, std::move(seams)),
        thread([this] { io.run(); }) {}
  ~RunningServer() {
    work.reset();
    io.stop();
    thread.join();
  }
  std::vector<std::string> Said() {
    std::lock_guard<std::mutex> lock(mutex);
    return said;
  }
};

// Whether the bridge took the upgrade: it queued the vibration sent over it
// and answered a bad command with an error.
bool Admitted(unsigned short port, const std::optional<std::string>& origin) {
  asio::io_context io;
  websocket::stream<tcp::socket> ws(io);
  ws.next_layer().connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
  ws.set_option(websocket::stream_base::decorator([&](websocket::request_type& request) {
    if (origin) request.set(boost::beast::http::field::origin, *origin);
  }));
  error_code error;
  ws.handshake("127.0.0.1", "/", error);
  if (error) return false;
  ws.text(true);
  ws.write(asio::buffer(std::string(kVibrate)));
  ws.write(asio::buffer(std::string("not json")));
  // The state it learns as it connects comes first.
  for (int read = 0; read < 2 && !error; ++read) {
    boost::beast::flat_buffer answer;
    ws.read(answer, error);
    if (boost::beast::buffers_to_string(answer.data()).rfind("{\"error\"", 0) == 0) return true;
  }
  return false;
}

// All a refused page reads, up to the end of the connection, after it sent
// the upgrade and, right behind it, a vibration in a frame (its mask all
// zeros, so the text goes as it is).
std::string Refusal(unsigned short port, const std::string& origin) {
  asio::io_context io;
  tcp::socket socket(io);
  socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
  const std::string vibrate = kVibrate;
  const std::string sent =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
      "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: " +
      origin + "\r\n\r\n" + "\x81" + static_cast<char>(0x80 | vibrate.size()) +
      std::string(4, '\0') + vibrate;
  asio::write(socket, asio::buffer(sent));
  std::string answer;
  bool ended = false;
  asio::async_read(socket, asio::dynamic_buffer(answer),
                   [&](const error_code&, std::size_t) { ended = true; });
  io.run_for(std::chrono::seconds(10));  // a connection left open ends the wait
  return ended ? answer : answer + "(still open)";
}

TEST(WebSocketOrigin, OwnPagesAndProgramsGetInOtherPagesOnlyWhenAllowed) {
  RunningServer running({"http://allowed.example:80"});
  const std::string port = std::to_string(running.server.Port());
  const std::string other = std::to_string(running.server.Port() + 1);
  // The last one again: each refused origin is told once.
  const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
      {std::nullopt, true},           {"http://127.0.0.1:" + port, true},
      {"HTTP://LocalHost:" + port, true}, {"http://[::1]:" + port, true},
      {"http://allowed.example", true}, {"http://127.0.0.1:" + other, false},
      {"https://127.0.0.1:" + port, false}, {"http://127.0.0.1", false},
      {"http://allowed.example:8080", false}, {"null", false},
      {"http://evil.example", false},  {"http://evil.example", false}};
  int admitted = 0;
  const tvxhdv_report report{};
  for (const auto& [origin, admits] : cases) {
    const std::string name = origin.value_or("(none)");
    if (admits) {
      EXPECT_TRUE(Admitted(running.server.Port(), origin)) << name;
      ++admitted;
    } else {
      running.server.Reports(&report, 1, Clock::now());
      const std::string refusal = Refusal(running.server.Port(), *origin);
      EXPECT_EQ(refusal.rfind("HTTP/1.1 403 ", 0), 0u) << name << ": " << refusal;
      EXPECT_EQ(refusal.find("pointer"), std::string::npos) << name;
    }
  }
  // Only the admitted clients' vibrations are on their way to the phones.
  EXPECT_EQ(running.commands.TakeAll().size(), static_cast<std::size_t>(admitted));
  // Each refused origin is told, with the option that would let it in.
  const std::vector<std::string> said = running.Said();
  EXPECT_EQ(said.size(), cases.size() - static_cast<std::size_t>(admitted) - 1);
  for (const std::string origin : {"http://evil.example", "http://allowed.example:8080"}) {
    const std::string line =
        "Refused a page from " + origin + ": --allow-origin " + origin + " lets it in";
    EXPECT_EQ(std::count(said.begin(), said.end(), line), 1) << line;
  }
}

TEST(WebSocketAccept, WithoutDescriptorsItPausesLongerEachTimeSaysSoOnceThenServes) {
  // Five accepts fail as a process out of descriptors fails; each pause is
  // a step of the test's clock, not a wait.
  std::atomic<int> attempts{0};
  std::vector<std::chrono::milliseconds> pauses;  // the server's thread only
  WebSocketServer::Seams seams;
  seams.acceptFault = [&] {
    return ++attempts <= 5 ? error_code(boost::asio::error::no_descriptors) : error_code();
  };
  seams.pause = [&](std::chrono::milliseconds pause, const std::function<void()>& resume) {
    pauses.push_back(pause);
    resume();
  };
  RunningServer server({}, seams);
  EXPECT_TRUE(Admitted(server.server.Port(), std::nullopt));
  // The five and the client's; the one that waits for the next client may
  // not have begun yet.
  EXPECT_GE(attempts, 6);
  using ms = std::chrono::milliseconds;
  EXPECT_EQ(pauses, (std::vector<ms>{ms(100), ms(200), ms(400), ms(800), ms(1000)}));
  const std::vector<std::string> said = server.Said();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("no file descriptor left"), std::string::npos) << said[0];
}

}  // namespace
}  // namespace bridge
