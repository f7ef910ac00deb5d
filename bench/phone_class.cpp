// A class of phones reporting at their display rate, as browsers send the
// reports: each phone sends its next report once the last is answered and
// 1/rate s has passed since it was sent, with a browser's headers, and opens
// a new connection only when the server closed the last one.
//
//   phone_class PORT [phones] [seconds] [rate]
//
// Prints "ANSWERED_PER_S P50_MS P99_MS ERRORS CONNECTIONS": reports answered
// per second, the time from sending a report (or connecting for it) to its
// whole answer, failed exchanges, and the connections the phones opened.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/ascii.h"
#include "platform/socket_client.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReportRequest(int pointer, int frame, std::uint16_t port) {
  char path[40];
  std::snprintf(path, sizeof path, "/tolvex100%02X%04X%04X%04X000200", pointer, frame,
                (frame * 97) & 0xFFFF, (frame * 61) & 0xFFFF);
  const std::string host = "127.0.0.1:" + std::to_string(port);
  return std::string("GET ") + path +
         " HTTP/1.1\r\n"
         "Host: " +
         host +
         "\r\n"
         "Connection: keep-alive\r\n"
         "User-Agent: Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like "
         "Gecko) Chrome/126.0.0.0 Mobile Safari/537.36\r\n"
         "Accept: */*\r\n"
         "Referer: http://" +
         host +
         "/\r\n"
         "Accept-Encoding: gzip, deflate\r\n"
         "Accept-Language: en-US,en;q=0.9\r\n\r\n";
}

// Reads one whole answer; false when the connection failed or ended first.
// keepOpen says whether the server keeps the connection for the next report.
bool ReadAnswer(platform::ClientSocket& socket, bool& keepOpen) {
  std::string received;
  char buffer[1024];
  std::size_t headerEnd = std::string::npos;
  std::size_t total = 0;
  for (;;) {
    if (headerEnd == std::string::npos) {
      headerEnd = received.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        const std::string head = AsciiLowered(received.substr(0, headerEnd));
        const std::size_t length = head.find("content-length:");
        total =
            headerEnd + 4 +
            (length == std::string::npos ? 0
                                         : std::strtoul(head.c_str() + length + 15, nullptr, 10));
        keepOpen = head.find("connection: close") == std::string::npos &&
                   (head.starts_with("http/1.1") ||
                    head.find("connection: keep-alive") != std::string::npos);
      }
    }
    if (headerEnd != std::string::npos && received.size() >= total) return true;
    int got = 0;
    if (!socket.ReceiveSome(buffer, sizeof buffer, 5000, got) || got == 0) return false;
    received.append(buffer, static_cast<std::size_t>(got));
  }
}

struct Phone {
  std::vector<double> latenciesMs;
  int errors = 0;
  int connections = 0;
};

void RunPhone(int index, int phones, std::uint16_t port, Clock::time_point start,
              Clock::time_point end, Clock::duration period, Phone& phone) {
  platform::ClientSocket socket;
  bool open = false;
  int frame = 0;
  // The phones start spread over one period, as a class does.
  Clock::time_point next = start + period * index / phones;
  while (next < end) {
    std::this_thread::sleep_until(next);
    const Clock::time_point sent = Clock::now();
    next = sent + period;
    frame = frame % 0xFFFF + 1;
    if (!open) {
      socket.Close();
      if (!socket.Connect(port)) {
        ++phone.errors;
        continue;
      }
      ++phone.connections;
    }
    bool keepOpen = false;
    if (!socket.SendAll(ReportRequest(index % 80, frame, port)) || !ReadAnswer(socket, keepOpen)) {
      ++phone.errors;
      open = false;
      continue;
    }
    open = keepOpen;
    const Clock::time_point answered = Clock::now();
    if (answered <= end) {
      phone.latenciesMs.push_back(
          std::chrono::duration<double, std::milli>(answered - sent).count());
    }
  }
}

double Percentile(std::vector<double>& values, double share) {
  if (values.empty()) return 0;
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: phone_class PORT [phones] [seconds] [rate]\n");
    return 2;
  }
  const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  const int phones = argc > 2 ? std::atoi(argv[2]) : 80;
  const double seconds = argc > 3 ? std::atof(argv[3]) : 5;
  const double rate = argc > 4 ? std::atof(argv[4]) : 60;

  const Clock::time_point start = Clock::now() + std::chrono::milliseconds(100);
  const Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
  std::vector<Phone> results(static_cast<std::size_t>(phones));
  std::vector<std::thread> threads;
  for (int i = 0; i < phones; ++i) {
    threads.emplace_back(RunPhone, i, phones, port, start, end, period,
                         std::ref(results[static_cast<std::size_t>(i)]));
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<double> latencies;
  int errors = 0;
  int connections = 0;
  for (const Phone& phone : results) {
    latencies.insert(latencies.end(), phone.latenciesMs.begin(), phone.latenciesMs.end());
    errors += phone.errors;
    connections += phone.connections;
  }
  const double answered = static_cast<double>(latencies.size()) / seconds;
  const double p50 = Percentile(latencies, 0.50);
  const double p99 = Percentile(latencies, 0.99);
  std::printf("%.0f %.2f %.2f %d %d\n", answered, p50, p99, errors, connections);
  return 0;
}
