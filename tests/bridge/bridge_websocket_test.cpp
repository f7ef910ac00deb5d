// The WebSocket's door: which upgrades it takes (the bridge's own page and
// programs without Origin; any other page gets a 403 and no connection,
// unless --allow-origin names it; each refused origin is told once), and
// how it waits out a process without descriptors. Then what a client learns
// as it connects and after, in arrays when it asks, and how a client that
// answers no ping is let go.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/json_messages.h"
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

// A client of the server's on a blocking socket of its own.
struct SyncClient {
  asio::io_context io;
  websocket::stream<tcp::socket> ws{io};

  SyncClient(unsigned short port, const std::string& target = "/") {
    ws.next_layer().connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
    ws.handshake("127.0.0.1", target);
    ws.text(true);
  }
  std::string Read() {
    boost::beast::flat_buffer buffer;
    ws.read(buffer);
    return boost::beast::buffers_to_string(buffer.data());
  }
  void Send(const std::string& text) { ws.write(asio::buffer(text)); }
  // Sends a bad command and reads up to its answer, which shows that
  // everything sent before it was taken.
  std::vector<std::string> Sync() {
    Send("{}");
    std::vector<std::string> before;
    for (std::string message = Read(); message.rfind("{\"error\"", 0) != 0; message = Read()) {
      before.push_back(message);
    }
    return before;
  }
};

tvxhdv_report ReportOf(unsigned pointer, unsigned frame) {
  tvxhdv_report report{};
  report.pointer = pointer;
  report.frame = frame;
  return report;
}

TEST(WebSocketServer, AClientLearnsStateAndPresenceAtOnceThenChangesAndGetsArraysWhenItAsks) {
  RunningServer running({});
  running.server.Busy("TVXTap (process 12)");
  running.server.Server(true);
  running.server.Presence(3, true, {3}, "Ann");
  running.server.Presence(7, true, {3, 7}, "");
  running.server.Renamed(7, "Mia");
  running.server.Presence(3, false, {7}, "");
  running.server.Presence(3, true, {3, 7}, "");  // a phone that left took its name
  SyncClient each(running.server.Port());
  SyncClient batched(running.server.Port(), "/?batch=1");
  for (SyncClient* client : {&each, &batched}) {
    EXPECT_EQ(client->Read(),
              R"({"server":"running","present":[{"pointer":3},{"pointer":7,"name":"Mia"}]})");
  }
  running.server.Renamed(7, "");
  EXPECT_EQ(each.Sync(), (std::vector<std::string>{json::Rename(7, "")}));
  batched.Sync();

  const tvxhdv_report pass[] = {ReportOf(7, 1), ReportOf(9, 1)};
  running.server.Presence(9, true, {3, 7, 9}, "");
  running.server.Reports(pass, 2, Clock::now());
  const std::string join = R"({"join":{"pointer":9}})";
  EXPECT_EQ(each.Sync(),
            (std::vector<std::string>{join, json::Report(pass[0]), json::Report(pass[1])}));
  EXPECT_EQ(batched.Sync(), (std::vector<std::string>{join, json::Reports(pass, 2)}));

  // Either asks for the other form on the way.
  each.Send(R"({"batch":true})");
  batched.Send(R"({"batch":false})");
  each.Sync();
  batched.Sync();
  running.server.Reports(pass, 2, Clock::now());
  EXPECT_EQ(each.Sync(), (std::vector<std::string>{json::Reports(pass, 2)}));
  EXPECT_EQ(batched.Sync(),
            (std::vector<std::string>{json::Report(pass[0]), json::Report(pass[1])}));
}

TEST(WebSocketServer, AClientThatAnswersNoPingFor30SecondsIsClosedOneThatAnswersStays) {
  std::atomic<long long> nowMs{0};
  std::function<void()> round;
  WebSocketServer::Seams seams;
  seams.now = [&] { return Clock::time_point(std::chrono::milliseconds(nowMs.load())); };
  seams.pingRound = [&](std::function<void()> run) { round = std::move(run); };
  RunningServer running({}, seams);
  ASSERT_TRUE(round);

  // It reads, and so answers every ping, until the server is said gone.
  std::atomic<int> pings{0};
  SyncClient answering(running.server.Port());
  answering.ws.control_callback([&](websocket::frame_type kind, boost::beast::string_view) {
    if (kind == websocket::frame_type::ping) ++pings;
  });
  SyncClient silent(running.server.Port());
  silent.Read();  // it has joined; it reads nothing more until the end
  answering.Read();
  std::thread reader([&] {
    while (answering.Read().find("gone") == std::string::npos) {
    }
  });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int tick = 1; tick <= 6; ++tick) {
    nowMs = tick * 10000LL;
    asio::post(running.io, round);
    while (pings < tick && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(pings, tick);
    std::promise<void> roundDone;  // the round has run to its end
    asio::post(running.io, [&] { roundDone.set_value(); });
    roundDone.get_future().wait();
    EXPECT_EQ(running.Said().size(), tick < 3 ? 0u : 1u) << "at " << tick * 10 << " s";
  }
  EXPECT_NE(running.Said().at(0).find("answered no ping for 30 s"), std::string::npos);
  running.server.Server(false);
  reader.join();

  error_code error;
  boost::beast::flat_buffer ignored;
  while (!error) silent.ws.read(ignored, error);
  EXPECT_EQ(error, websocket::error::closed);
  EXPECT_EQ(silent.ws.reason().code, websocket::close_code::policy_error);
}

}  // namespace
}  // namespace bridge
