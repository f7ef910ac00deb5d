// Boost.Beast does the HTTP and the WebSocket framing (RFC 6455) on Asio.
#include "bridge/websocket_server.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/client_queue.h"
#include "bridge/gathering_stream.h"
#include "bridge/json_messages.h"
#include "bridge/origins.h"
#include "bridge/screen_page.h"

namespace bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

// Enough for a client that keeps up, small enough that one that stops
// reading shows in its queue within moments rather than after megabytes.
constexpr int kSendBufferBytes = 64 * 1024;
// Most messages framed into one send: about 50 KB, far more than a pass
// holds (80 phones at 60 Hz put about six in a pass).
constexpr int kMessagesPerSend = 512;
// How long a client that fell behind gets to take its close frame.
constexpr std::chrono::seconds kCloseGrace{5};
// The pauses in accepting while the process has no descriptor left: the
// connection waits in the backlog meanwhile, where trying again at once
// would fail again at once, a core's worth of nothing.
constexpr std::chrono::milliseconds kFirstAcceptPause{100};
constexpr std::chrono::milliseconds kLongestAcceptPause{1000};
// Every client is pinged this often; one that sent nothing, not even a
// pong, for kAnswerWithin is gone without having said so and is closed,
// whether reports flow or not.
constexpr std::chrono::seconds kPingEvery{10};
constexpr std::chrono::seconds kAnswerWithin{30};

bool OutOfDescriptors(const boost::system::error_code& error) {
  return error == boost::asio::error::no_descriptors ||
         error == boost::system::errc::too_many_files_open_in_system ||
         error == boost::asio::error::no_buffer_space;
}

class Client;

}  // namespace

struct WebSocketServer::Hub {
  Hub(asio::io_context& context, const tcp::endpoint& where, CommandQueue& queue,
      std::function<void(const std::string&)> sayLine, const std::vector<std::string>& allow,
      WebSocketServer::Seams testSeams)
      : io(context),
        acceptor(context, where),
        commands(queue),
        say(std::move(sayLine)),
        origins(where.address().to_string(), acceptor.local_endpoint().port(), allow),
        seams(std::move(testSeams)),
        acceptPause(context),
        pingTimer(context) {}

  // Whether a page from origin may open the WebSocket; the first refusal
  // of each origin says how to let it in.
  bool Admits(const std::string& origin);

  void Accept();
  void Accepted(const error_code& error, tcp::socket socket);
  void PauseAccepting();
  void Join(const std::shared_ptr<Client>& client);
  void Leave(const std::shared_ptr<Client>& client);
  // Reports go to each client as it asked: an array for the pass or one
  // message each. Both forms are made only when some client wants them.
  void BroadcastReports(const std::vector<tvxhdv_report>& reports, Clock::time_point arrived);
  void Broadcast(const Message& message);
  void Tell(std::string server, std::string holder, const std::string& message);
  Clock::time_point Now() const { return seams.now ? seams.now() : Clock::now(); }
  void SchedulePings();
  void PingRound();

  asio::io_context& io;
  tcp::acceptor acceptor;
  CommandQueue& commands;
  std::function<void(const std::string&)> say;
  const Origins origins;
  WebSocketServer::Seams seams;
  asio::steady_timer acceptPause;
  std::chrono::milliseconds nextAcceptPause{0};  // io's thread only
  bool saidOutOfDescriptors = false;            // io's thread only
  std::set<std::string> refusedOrigins;       // io's thread only
  std::set<std::shared_ptr<Client>> clients;  // io's thread only
  asio::steady_timer pingTimer;
  // What a client that joins learns at once; io's thread only.
  std::string server = "gone";  // "running", "gone" or "busy"
  std::string holder;           // who reads the reports while busy, if known
  std::vector<unsigned> present;
  std::vector<std::string> names = std::vector<std::string>(TVXHDV_POINTERS);  // by pointer
  std::atomic<int> clientCount{0};            // no JSON is made while it is 0
};

namespace {

using Hub = WebSocketServer::Hub;

// One WebSocket client, after the upgrade.
class Client : public std::enable_shared_from_this<Client> {
 public:
  Client(beast::tcp_stream&& stream, Hub& hub)
      : ws_(std::move(stream)), hub_(hub), cutoff_(ws_.get_executor()) {}

  void Accept(const http::request<http::string_body>& request) {
    batch_ = AsksForBatches(request.target());
    lastHeard_ = hub_.Now();
    beast::get_lowest_layer(ws_).expires_never();
    auto timeout = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeout.idle_timeout = websocket::stream_base::none();  // a client may only listen
    timeout.handshake_timeout = std::chrono::seconds(10);
    ws_.set_option(timeout);
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "TVXBridge"); }));
    ws_.text(true);
    ws_.read_message_max(64 * 1024);
    // A pong, or any control frame, says the client is still there.
    ws_.control_callback(
        [this](websocket::frame_type, beast::string_view) { lastHeard_ = hub_.Now(); });
    error_code ignored;
    tcp::socket& socket = beast::get_lowest_layer(ws_).socket();
    socket.set_option(asio::socket_base::send_buffer_size(kSendBufferBytes), ignored);
    socket.set_option(tcp::no_delay(true), ignored);
    ws_.async_accept(request, [self = shared_from_this()](const error_code& error) {
      if (error) return;
      self->hub_.Join(self);
      self->Read();
    });
  }

  // Queues message for this client; lets it go when it fell behind.
  // Write() then sends what is queued.
  void Queue(const Message& message, Clock::time_point arrived) {
    if (closing_) return;
    if (!waiting_.Push(message, arrived)) FellBehind();
  }

  // Frames what is queued and sends it in one go. What is queued while
  // that send is under way goes in the next. A send takes a bounded share
  // of the queue, so that what a slow client has not taken yet stays in the
  // queue, where its age counts.
  void Write() {
    if (sending_ || closing_ || waiting_.Empty()) return;
    error_code error;
    for (int framed = 0; framed < kMessagesPerSend && !waiting_.Empty() && !error; ++framed) {
      ws_.write(asio::buffer(*waiting_.Front()), error);
      waiting_.Pop();
    }
    if (error) {
      Leave();
      return;
    }
    Flush();
  }

  bool Batch() const { return batch_; }
  Clock::time_point LastHeard() const { return lastHeard_; }

  void Ping() {
    if (closing_) return;
    error_code error;
    ws_.ping({}, error);  // only kept until the flush
    if (error) {
      Leave();
      return;
    }
    // A flush of its own: one under way may have sent all it had and only
    // its ending be still to come, which sends nothing more.
    ws_.next_layer().Flush([self = shared_from_this()](const error_code& failed) {
      if (failed) self->Leave();
    });
  }

  void Unanswered() {
    Close("sent nothing, not even a pong, for 30 s",
          "A WebSocket client (" + Peer() + ") answered no ping for 30 s; it is closed.");
  }

 private:
  void Read() {
    ws_.async_read(incoming_, [self = shared_from_this()](const error_code& error, std::size_t) {
      self->OnRead(error);
    });
  }

  // "/?batch=1": the reports of a pass as one array from the start.
  static bool AsksForBatches(beast::string_view target) {
    const std::size_t query = target.find('?');
    if (query == beast::string_view::npos) return false;
    const std::string parameters = "&" + std::string(target.substr(query + 1)) + "&";
    return parameters.find("&batch=1&") != std::string::npos ||
           parameters.find("&batch=true&") != std::string::npos;
  }

  void Flush() {
    sending_ = true;
    ws_.next_layer().Flush([self = shared_from_this()](const error_code& failed) {
      self->sending_ = false;
      if (failed) {
        self->Leave();
        return;
      }
      self->Write();
    });
  }

  std::string Peer() {
    error_code ignored;
    const auto peer = beast::get_lowest_layer(ws_).socket().remote_endpoint(ignored);
    return peer.address().to_string() + ":" + std::to_string(peer.port());
  }

  void OnRead(const error_code& error) {
    if (error) {
      Leave();
      return;
    }
    lastHeard_ = hub_.Now();
    const std::string text = beast::buffers_to_string(incoming_.data());
    incoming_.consume(incoming_.size());
    json::Request request;
    const Outcome read = ws_.got_text() ? json::ReadRequest(text, request)
                                        : Outcome::Failure("commands are JSON in text frames");
    std::string problem;
    if (!read) {
      problem = read.Error();
    } else if (request.kind == json::Request::Kind::kBatch) {
      batch_ = request.batch;
    } else {
      PhoneCommand& command = request.command;
      std::weak_ptr<Client> weak = weak_from_this();
      asio::io_context& io = hub_.io;
      command.failed = [weak, &io](const std::string& why) {
        asio::post(io, [weak, why] {
          if (auto client = weak.lock()) client->SendError(why);
        });
      };
      if (!hub_.commands.Push(std::move(command))) {
        problem = "too many commands wait to be put: this one was dropped";
      }
    }
    if (!problem.empty()) SendError(problem);
    Read();
  }

  void SendError(const std::string& problem) {
    Queue(std::make_shared<const std::string>(json::Error(problem)), Clock::now());
    Write();
  }

  void FellBehind() {
    Close("fell more than a second behind the reports",
          "A WebSocket client (" + Peer() +
              ") fell more than a second behind the reports; it is closed.");
  }

  // Closes with a reason; the close frame goes once the send under way is
  // through, and a client that takes nothing more is cut off.
  void Close(const char* reason, const std::string& line) {
    closing_ = true;
    waiting_.Clear();
    Leave();
    hub_.say(line);
    ws_.async_close(websocket::close_reason(websocket::close_code::policy_error, reason),
                    [self = shared_from_this()](const error_code&) { self->cutoff_.cancel(); });
    cutoff_.expires_after(kCloseGrace);
    cutoff_.async_wait([self = shared_from_this()](const error_code& error) {
      if (!error) beast::get_lowest_layer(self->ws_).close();
    });
  }

  void Leave() { hub_.Leave(shared_from_this()); }

  websocket::stream<GatheringStream> ws_;
  Hub& hub_;
  asio::steady_timer cutoff_;
  beast::flat_buffer incoming_;
  ClientQueue waiting_;
  bool sending_ = false;
  bool closing_ = false;
  bool batch_ = false;
  Clock::time_point lastHeard_{};
};

// A connection before it is known to be a WebSocket: a GET of the page or
// an upgrade.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(tcp::socket socket, Hub& hub) : stream_(std::move(socket)), hub_(hub) {}

  void Start() {
    stream_.expires_after(std::chrono::seconds(30));
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](const error_code& error, std::size_t) {
                       if (!error) self->Answer();
                     });
  }

 private:
  void Answer() {
    const bool upgrade = websocket::is_upgrade(request_);
    const auto origin = request_.find(http::field::origin);
    const bool refused = upgrade && origin != request_.end() &&
                         !hub_.Admits(std::string(origin->value()));
    if (upgrade && !refused) {
      std::make_shared<Client>(std::move(stream_), hub_)->Accept(request_);
      return;
    }
    const bool page = request_.target() == "/" || request_.target() == "/index.html";
    const bool get = request_.method() == http::verb::get || request_.method() == http::verb::head;
    response_.version(request_.version());
    response_.keep_alive(false);
    response_.set(http::field::server, "TVXBridge");
    if (refused) {
      response_.result(http::status::forbidden);
      response_.set(http::field::content_type, "text/plain; charset=utf-8");
      response_.body() = "Only TVXBridge's own page may use this WebSocket (see --allow-origin)\n";
    } else if (page && get) {
      response_.result(http::status::ok);
      response_.set(http::field::content_type, "text/html; charset=utf-8");
      response_.set(http::field::cache_control, "no-store");
      if (request_.method() == http::verb::get) response_.body() = kScreenPage;
    } else {
      response_.result(get ? http::status::not_found : http::status::method_not_allowed);
      response_.set(http::field::content_type, "text/plain; charset=utf-8");
      response_.body() = get ? "Not found: the page is at /\n" : "Only GET\n";
    }
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](const error_code&, std::size_t) {
                        error_code ignored;
                        self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                      });
  }

  beast::tcp_stream stream_;
  Hub& hub_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

}  // namespace

void Hub::Accept() {
  if (seams.acceptFault) {
    if (const error_code fault = seams.acceptFault()) {
      asio::post(io, [this, fault] { Accepted(fault, tcp::socket(io)); });
      return;
    }
  }
  acceptor.async_accept([this](const error_code& error, tcp::socket socket) {
    if (error != asio::error::operation_aborted) Accepted(error, std::move(socket));
  });
}

void Hub::Accepted(const error_code& error, tcp::socket socket) {
  if (OutOfDescriptors(error)) {
    PauseAccepting();
    return;
  }
  nextAcceptPause = std::chrono::milliseconds(0);
  if (!error) std::make_shared<HttpConnection>(std::move(socket), *this)->Start();
  Accept();
}

void Hub::PauseAccepting() {
  nextAcceptPause = nextAcceptPause.count() == 0
                        ? kFirstAcceptPause
                        : std::min(nextAcceptPause * 2, kLongestAcceptPause);
  if (!saidOutOfDescriptors) {
    saidOutOfDescriptors = true;
    say("The process has no file descriptor left for a WebSocket client: accepting pauses "
        "(up to a second at a time) until some are free.");
  }
  if (seams.pause) {
    seams.pause(nextAcceptPause, [this] { Accept(); });
    return;
  }
  acceptPause.expires_after(nextAcceptPause);
  acceptPause.async_wait([this](const error_code& error) {
    if (!error) Accept();
  });
}

bool Hub::Admits(const std::string& origin) {
  if (origins.Admits(origin)) return true;
  if (refusedOrigins.size() < 64 && refusedOrigins.insert(origin).second) {
    const std::string canonical = CanonicalOrigin(origin);
    say("Refused a page from " + origin + ": " +
        (canonical.empty() ? std::string("no --allow-origin lets it in")
                           : "--allow-origin " + origin + " lets it in"));
  }
  return false;
}

void Hub::Join(const std::shared_ptr<Client>& client) {
  if (!clients.insert(client).second) return;
  ++clientCount;
  // It learns at once what the others learnt one change at a time.
  client->Queue(std::make_shared<const std::string>(json::State(server, holder, present, names)),
                Clock::now());
  client->Write();
}

void Hub::Leave(const std::shared_ptr<Client>& client) {
  if (clients.erase(client) != 0) --clientCount;
}

void Hub::BroadcastReports(const std::vector<tvxhdv_report>& reports, Clock::time_point arrived) {
  Message batch;
  std::vector<Message> each;
  // A client that falls behind leaves the set on the way.
  const std::vector<std::shared_ptr<Client>> everyone(clients.begin(), clients.end());
  for (const auto& client : everyone) {
    if (client->Batch()) {
      if (!batch) {
        batch = std::make_shared<const std::string>(
            json::Reports(reports.data(), static_cast<int>(reports.size())));
      }
      client->Queue(batch, arrived);
    } else {
      if (each.empty()) {
        each.reserve(reports.size());
        for (const tvxhdv_report& report : reports) {
          each.push_back(std::make_shared<const std::string>(json::Report(report)));
        }
      }
      for (const Message& message : each) client->Queue(message, arrived);
    }
    client->Write();
  }
}

void Hub::Broadcast(const Message& message) {
  const Clock::time_point now = Clock::now();
  const std::vector<std::shared_ptr<Client>> everyone(clients.begin(), clients.end());
  for (const auto& client : everyone) {
    client->Queue(message, now);
    client->Write();
  }
}

void Hub::SchedulePings() {
  if (seams.pingRound) {
    seams.pingRound([this] { PingRound(); });
    return;
  }
  pingTimer.expires_after(kPingEvery);
  pingTimer.async_wait([this](const error_code& error) {
    if (error) return;
    PingRound();
    SchedulePings();
  });
}

void Hub::PingRound() {
  const Clock::time_point now = Now();
  const std::vector<std::shared_ptr<Client>> everyone(clients.begin(), clients.end());
  for (const auto& client : everyone) {
    if (now - client->LastHeard() >= kAnswerWithin) {
      client->Unanswered();
    } else {
      client->Ping();
    }
  }
}

WebSocketServer::WebSocketServer(asio::io_context& io, const tcp::endpoint& where,
                                 CommandQueue& commands,
                                 std::function<void(const std::string&)> say,
                                 const std::vector<std::string>& allowOrigins, Seams seams)
    : hub_(std::make_shared<Hub>(io, where, commands, std::move(say), allowOrigins,
                                 std::move(seams))) {
  hub_->Accept();
  hub_->SchedulePings();
}

WebSocketServer::~WebSocketServer() = default;

unsigned short WebSocketServer::Port() const { return hub_->acceptor.local_endpoint().port(); }

void WebSocketServer::Reports(const tvxhdv_report* reports, int count,
                              Clock::time_point arrived) {
  if (hub_->clientCount == 0) return;
  asio::post(hub_->io, [hub = hub_, passed = std::vector<tvxhdv_report>(reports, reports + count),
                        arrived] { hub->BroadcastReports(passed, arrived); });
}

void Hub::Tell(std::string state, std::string holding, const std::string& message) {
  server = std::move(state);
  holder = std::move(holding);
  Broadcast(std::make_shared<const std::string>(message));
}

void WebSocketServer::Server(bool running) {
  asio::post(hub_->io, [hub = hub_, running] {
    hub->Tell(running ? "running" : "gone", "", json::Server(running));
  });
}

void WebSocketServer::Busy(const std::string& holder) {
  asio::post(hub_->io, [hub = hub_, holder] { hub->Tell("busy", holder, json::Busy(holder)); });
}

void WebSocketServer::Presence(unsigned pointer, bool joined,
                               const std::vector<unsigned>& present, const std::string& name) {
  if (pointer >= TVXHDV_POINTERS) return;
  asio::post(hub_->io, [hub = hub_, pointer, joined, present, name] {
    hub->present = present;
    hub->names[pointer] = joined ? name : std::string();
    if (hub->clientCount > 0) {
      hub->Broadcast(std::make_shared<const std::string>(json::Presence(pointer, joined, name)));
    }
  });
}

void WebSocketServer::Renamed(unsigned pointer, const std::string& name) {
  if (pointer >= TVXHDV_POINTERS) return;
  asio::post(hub_->io, [hub = hub_, pointer, name] {
    hub->names[pointer] = name;
    if (hub->clientCount > 0) {
      hub->Broadcast(std::make_shared<const std::string>(json::Rename(pointer, name)));
    }
  });
}

}  // namespace bridge
