// Load run for the server engine: many loopback connections at once, each
// carrying a few keep-alive requests, bounded in count and in time.
//
//   server_load [connections] [requests per connection] [parallel clients] [seconds]
//
// Prints the connections made, the requests answered and the errors seen
// (failed connects, failed sends, wrong or missing replies).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket_client.h"
#include "server/threaded_server.h"

namespace {

// Answers every request with its own length, as a short keep-alive reply.
class LoadServer : public ThreadedServer {
 public:
  int OnClientAccepted(const char*, std::uint16_t) override { return 0; }
  int OnReplySent(std::uint32_t) override { return 0; }
  int IsRequestComplete(std::string_view request) override {
    return request.size() >= 4 && request.substr(request.size() - 4) == "\r\n\r\n";
  }
  int ParseRequest(std::string_view request, std::string& reply, int& keepAlive) override {
    keepAlive = 1;
    reply.assign("len=");
    reply += std::to_string(request.size());
    reply += "\r\n";
    return 1;
  }
};

struct Totals {
  std::atomic<int> connections{0};
  std::atomic<int> requests{0};
  std::atomic<int> errors{0};
};

std::string ReplyFor(const std::string& request) {
  return "len=" + std::to_string(request.size()) + "\r\n";
}

bool Exchange(platform::ClientSocket& socket, const std::string& request) {
  if (!socket.SendAll(request)) return false;
  const std::string expected = ReplyFor(request);
  std::string received;
  char buffer[256];
  while (received.size() < expected.size()) {
    int got = 0;
    if (!socket.ReceiveSome(buffer, sizeof buffer, 5000, got) || got == 0) return false;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received == expected;
}

void RunClient(std::uint16_t port, int requestsPerConnection, int connectionLimit,
               std::chrono::steady_clock::time_point deadline, Totals& totals, int clientNumber) {
  while (std::chrono::steady_clock::now() < deadline) {
    if (totals.connections.fetch_add(1) >= connectionLimit) {
      totals.connections.fetch_sub(1);
      return;
    }
    platform::ClientSocket socket;
    if (!socket.Connect(port)) {
      ++totals.errors;
      continue;
    }
    for (int i = 0; i < requestsPerConnection; ++i) {
      const std::string request = "GET /load/" + std::to_string(clientNumber) + "/" +
                                  std::to_string(i) + " HTTP/1.0\r\n\r\n";
      if (!Exchange(socket, request)) {
        ++totals.errors;
        break;
      }
      ++totals.requests;
    }
  }
}

int Argument(int argc, char** argv, int index, int fallback) {
  return argc > index ? std::atoi(argv[index]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int connectionLimit = Argument(argc, argv, 1, 5000);
  const int requestsPerConnection = Argument(argc, argv, 2, 5);
  const int parallelClients = Argument(argc, argv, 3, 64);
  const int seconds = Argument(argc, argv, 4, 60);

  LoadServer server;
  std::uint16_t port = 0;
  if (!platform::FindFreePort(port) || server.Run(port, 5000) != 1) {
    std::fprintf(stderr, "server_load: the server did not start\n");
    return 1;
  }
  Totals totals;
  const auto started = std::chrono::steady_clock::now();
  const auto deadline = started + std::chrono::seconds(seconds);
  std::vector<std::thread> clients;
  for (int i = 0; i < parallelClients; ++i) {
    clients.emplace_back(RunClient, port, requestsPerConnection, connectionLimit, deadline,
                         std::ref(totals), i);
  }
  for (std::thread& client : clients) client.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  ServerStats stats;
  server.GetStatistics(stats);
  const int shutdownResult = server.Shutdown();
  std::printf("connections: %d\nrequests: %d\nerrors: %d\n", totals.connections.load(),
              totals.requests.load(), totals.errors.load());
  std::printf("seconds: %.2f, parallel clients: %d, requests per connection: %d\n", elapsed,
              parallelClients, requestsPerConnection);
  std::printf("server: accepted %d, visitors %d, KB received %.1f, KB sent %.1f, shutdown %d\n",
              stats.requests, stats.visitors, stats.kbReceived, stats.kbSent, shutdownResult);
  return totals.errors.load() == 0 ? 0 : 2;
}
