// Report-to-consumer latency of a running TVXHandvane: one keep-alive client
// sends pointer reports while this process, as the consuming application,
// spins on the kit's read (sdk/c/tvxhdv.h) until the report arrives; then
// the same with the kit's sleeping wait, and what an idle wait costs.
//
//   report_latency FOLDER PORT [reports]
//
// FOLDER holds the server's rendezvous file. Prints p50, p99 and the maximum
// of the time from handing a report to the socket to its record being
// taken from the FIFO (spinning) or to the wait waking up (sleeping), in
// microseconds, and the processor time of a wait with nothing to wait for.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// Sends count reports one at a time; for each, the time until the consumer
// saw it: spinning on tvxhdv_read, or returning from tvxhdv_wait.
bool Measure(tvxhdv* consumer, platform::ClientSocket& socket, int count, bool sleep,
             std::vector<double>& micros, int& lost) {
  static unsigned frame = 0;
  tvxhdv_report taken[64];
  micros.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    // Frames 1 and up are fresh after the server's start; the last stays
    // below the range where a small frame would count as wrapped.
    frame = frame % 0xBFFF + 1;
    const std::string request = ReportRequest(frame);
    const Clock::time_point sent = Clock::now();
    if (!socket.SendAll(request)) {
      std::fprintf(stderr, "report_latency: send failed\n");
      return false;
    }
    const Clock::time_point giveUp = sent + std::chrono::milliseconds(500);
    Clock::time_point seen = sent;
    bool visible = false;
    if (sleep) {
      int event = TVXHDV_TIMEOUT;
      while ((event = tvxhdv_wait(consumer, 500)) == TVXHDV_PRESENCE) {
        tvxhdv_presence_change changes[8];
        (void)tvxhdv_presence(consumer, changes, 8);  // only its report counts here
      }
      visible = event == TVXHDV_REPORTS;
    } else {
      while (!(visible = tvxhdv_read(consumer, taken, 64) > 0) && (seen = Clock::now()) < giveUp) {
      }
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
      return false;
    }
  }
  return true;
}

void Print(const char* what, std::vector<double>& micros, int lost) {
  std::sort(micros.begin(), micros.end());
  std::printf("%s: %zu reports, p50 %.1f us, p99 %.1f us, max %.1f us, lost %d\n", what,
              micros.size(), Percentile(micros, 0.50), Percentile(micros, 0.99), micros.back(),
              lost);
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

  std::vector<double> spinning;
  std::vector<double> sleeping;
  int lost = 0;
  if (!Measure(consumer, socket, reports, false, spinning, lost) ||
      !Measure(consumer, socket, std::max(reports / 10, 1), true, sleeping, lost)) {
    return 1;
  }
  if (spinning.empty() || sleeping.empty()) {
    std::fprintf(stderr, "report_latency: no report reached the FIFO\n");
    return 1;
  }
  Print("report to consumer", spinning, lost);
  Print("report to a sleeping tvxhdv_wait", sleeping, lost);

  // A consumer with nothing to read, waiting as an application's loop does.
  constexpr double kIdleSeconds = 3;
  const std::clock_t idleStart = std::clock();
  const Clock::time_point idleUntil =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(kIdleSeconds));
  tvxhdv_report taken[64];
  while (Clock::now() < idleUntil) {
    // Only the time spent counts here, not what is taken.
    (void)tvxhdv_wait(consumer, 1000);
    (void)tvxhdv_read(consumer, taken, 64);
  }
  const double busy = static_cast<double>(std::clock() - idleStart) / CLOCKS_PER_SEC;
  std::printf("idle consumer in tvxhdv_wait: %.3f %% of a core\n", 100 * busy / kIdleSeconds);
  tvxhdv_close(consumer);
  return 0;
}
