// Report-to-consumer latency of a running TVXHandvane: one keep-alive client
// sends pointer reports while this process, as the consuming application,
// spins on the kit's read (sdk/c/tvxhdv.h) until the report arrives.
//
//   report_latency FOLDER PORT [reports]
//
// FOLDER holds the server's rendezvous file. Prints p50, p99 and the maximum
// of the time from handing a report to the socket to its record being
// taken from the FIFO, in microseconds.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/socket_client.h"

namespace {

using Clock = std::chrono::steady_clock;

// Pointer 5, so that load runs on other pointers leave its frames alone.
std::string ReportRequest(unsigned frame) {
  char request[128];
  std::snprintf(request, sizeof request,
                "GET /tolvex10005%04X10002000000000 HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n",
                frame & 0xFFFF);
  return request;
}

// Reads the reply head and its body; the reply ends once the body has arrived.
bool ReadReply(platform::ClientSocket& socket) {
  std::string reply;
  char buffer[512];
  for (;;) {
    const std::size_t head = reply.find("\r\n\r\n");
    if (head != std::string::npos) {
      const std::size_t lengthAt = reply.find("Content-Length: ");
      const std::size_t length = lengthAt == std::string::npos
                                     ? 4
                                     : std::strtoul(reply.c_str() + lengthAt + 16, nullptr, 10);
      if (reply.size() >= head + 4 + length) return true;
    }
    int got = 0;
    if (!socket.ReceiveSome(buffer, sizeof buffer, 5000, got) || got == 0) return false;
    reply.append(buffer, static_cast<std::size_t>(got));
  }
}

double Percentile(std::vector<double>& sorted, double fraction) {
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
  return sorted[index];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: report_latency FOLDER PORT [reports]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const auto port = static_cast<std::uint16_t>(std::atoi(argv[2]));
  const int reports = argc > 3 ? std::atoi(argv[3]) : 20000;

  tvxhdv* consumer = tvxhdv_open(folder.c_str(), TVXHDV_FROM_NOW);
  if (consumer == nullptr) {
    std::fprintf(stderr, "report_latency: cannot open the area: %s\n", tvxhdv_last_error());
    return 1;
  }
  platform::ClientSocket socket;
  if (!socket.Connect(port)) {
    std::fprintf(stderr, "report_latency: cannot connect to port %u\n", port);
    return 1;
  }

  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(reports));
  int lost = 0;
  tvxhdv_report taken[64];
  // Frames 1 and up are fresh after the server's start; the last stays below
  // the range where a small frame would count as wrapped.
  for (int i = 0; i < reports; ++i) {
    const unsigned frame = 1 + static_cast<unsigned>(i) % 0xBFFF;
    const std::string request = ReportRequest(frame);
    const Clock::time_point sent = Clock::now();
    if (!socket.SendAll(request)) {
      std::fprintf(stderr, "report_latency: send failed\n");
      return 1;
    }
    const Clock::time_point giveUp = sent + std::chrono::milliseconds(500);
    Clock::time_point seen = sent;
    bool visible = false;
    while (!(visible = tvxhdv_read(consumer, taken, 64) > 0) && (seen = Clock::now()) < giveUp) {
    }
    if (visible) {
      seen = Clock::now();
      micros.push_back(std::chrono::duration<double, std::micro>(seen - sent).count());
    } else {
      ++lost;
    }
    while (tvxhdv_read(consumer, taken, 64) > 0) {
    }
    if (!ReadReply(socket)) {
      std::fprintf(stderr, "report_latency: no reply\n");
      return 1;
    }
  }
  if (micros.empty()) {
    std::fprintf(stderr, "report_latency: no report reached the FIFO\n");
    return 1;
  }
  std::sort(micros.begin(), micros.end());
  std::printf("report to consumer: %zu reports, p50 %.1f us, p99 %.1f us, max %.1f us, lost %d\n",
              micros.size(), Percentile(micros, 0.50), Percentile(micros, 0.99), micros.back(),
              lost);
  tvxhdv_close(consumer);
  return 0;
}
