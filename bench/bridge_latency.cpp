// TVXBridge under a class: phones report to the real TVXHandvane at their
// display rate while this process is the bridge's OSC target and three of
// its WebSocket clients, one of which reads nothing.
//
//   bridge_latency SERVER_PORT OSC_PORT WS_PORT BRIDGE_PID [phones] [seconds] [rate]
//
// Prints, for OSC and for the two reading clients: reports received of
// those sent, and p50, p99 and the maximum in ms from handing a report to
// the server's socket to its datagram or frame arriving here. That span holds
// the server's own part (report_latency measures it alone), so it bounds the
// bridge's from above. Last, the bridge's CPU use in percent of one core
// (from /proc, Linux only).
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "platform/socket_client.h"

namespace {

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;

// When each pointer's report of each frame was sent, in ns since the start.
std::array<std::array<std::atomic<std::int64_t>, 65536>, 80>* sentAt;
Clock::time_point start;
std::atomic<int> sentCount{0};

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

void RunPhone(int pointer, int phones, std::uint16_t port, Clock::time_point end,
              Clock::duration period) {
  platform::ClientSocket socket;
  if (!socket.Connect(port)) return;
  Clock::time_point next = start + period * pointer / phones;
  char buffer[1024];
  for (int frame = 1; next < end; ++frame) {
    std::this_thread::sleep_until(next);
    next += period;
    char request[160];
    std::snprintf(request, sizeof request,
                  "GET /tolvex100%02X%04X%04X%04X000200 HTTP/1.1\r\nHost: x\r\n"
                  "Connection: keep-alive\r\n\r\n",
                  pointer, frame, (frame * 97) & 0xFFFF, (frame * 61) & 0xFFFF);
    (*sentAt)[pointer][frame].store(Now());
    ++sentCount;
    int got = 0;
    // The answer is small: one receive takes it whole.
    if (!socket.SendAll(request) || !socket.ReceiveSome(buffer, sizeof buffer, 5000, got) ||
        got == 0) {
      return;
    }
  }
}

struct Latencies {
  std::vector<double> ms;
  void Add(int pointer, int frame) {
    if (pointer < 0 || pointer >= 80 || frame <= 0 || frame > 65535) return;
    const std::int64_t sent = (*sentAt)[pointer][frame].load();
    if (sent != 0) ms.push_back(static_cast<double>(Now() - sent) / 1e6);
  }
  void Print(const char* name) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double share) {
      return ms.empty() ? 0.0 : ms[static_cast<std::size_t>(share * static_cast<double>(ms.size() - 1))];
    };
    std::printf("%-12s %7zu of %7d   p50 %6.3f ms   p99 %6.3f ms   max %7.3f ms\n", name, ms.size(),
                sentCount.load(), at(0.5), at(0.99), ms.empty() ? 0.0 : ms.back());
  }
};

std::uint32_t Word(const char* at) {
  const auto* b = reinterpret_cast<const unsigned char*>(at);
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

// Pointer and frame of a report. /tvxhdv/pointer (the legacy scheme) has
// them as the first and the last of its seven arguments, after 16 bytes of
// address and 12 of type tags. /tvxhdv/pN/xy has the pointer in its address
// and the frame in x, which the phones send as frame x 97 (mod 65536, where
// 41889 undoes it). Reports that left the bridge together come as a bundle:
// "#bundle", a time tag, then each message after its size.
void AddReport(const char* message, std::size_t size, Latencies& out) {
  if (size == 56) {
    out.Add(static_cast<int>(Word(message + 28)), static_cast<int>(Word(message + 52)));
    return;
  }
  if (size != 28 || std::memcmp(message, "/tvxhdv/p", 9) != 0 || std::memcmp(message + 16, ",ff", 4) != 0) {
    return;
  }
  const int pointer = std::atoi(message + 9);
  const std::uint32_t bits = Word(message + 20);
  float x = 0;
  std::memcpy(&x, &bits, 4);
  const auto sentX = static_cast<std::uint32_t>(std::lround(x * 65535.0f));
  out.Add(pointer, static_cast<int>((sentX * 41889u) & 0xFFFF));
}

void ReceiveOsc(asio::ip::udp::socket& socket, Latencies& out, const std::atomic<bool>& stop) {
  char packet[65536];
  while (!stop) {
    boost::system::error_code error;
    const std::size_t size = socket.receive(asio::buffer(packet), 0, error);
    if (error) continue;
    if (size < 16 || std::memcmp(packet, "#bundle", 8) != 0) {
      AddReport(packet, size, out);
      continue;
    }
    for (std::size_t at = 16; at + 4 <= size;) {
      const std::size_t length = Word(packet + at);
      if (at + 4 + length > size) break;
      AddReport(packet + at + 4, length, out);
      at += 4 + length;
    }
  }
}

int Field(const std::string& json, const char* name) {
  const std::size_t at = json.find(name);
  return at == std::string::npos ? -1 : std::atoi(json.c_str() + at + std::strlen(name));
}

void ReceiveWebSocket(websocket::stream<asio::ip::tcp::socket>& ws, Latencies& out) {
  boost::beast::flat_buffer buffer;
  for (;;) {
    boost::system::error_code error;
    ws.read(buffer, error);
    if (error) return;
    const std::string text = boost::beast::buffers_to_string(buffer.data());
    buffer.consume(buffer.size());
    out.Add(Field(text, "\"pointer\":"), Field(text, "\"frame\":"));
  }
}

double CpuSeconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), {});
  const std::size_t close = all.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::size_t from = close + 2;
  while (fields.size() < 13) {
    const std::size_t space = all.find(' ', from);
    fields.push_back(all.substr(from, space - from));
    from = space + 1;
  }
  return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / 100.0;  // utime, stime
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: bridge_latency SERVER_PORT OSC_PORT WS_PORT BRIDGE_PID [phones] [seconds] [rate]\n");
    return 2;
  }
  const auto serverPort = static_cast<std::uint16_t>(std::atoi(argv[1]));
  const auto oscPort = static_cast<std::uint16_t>(std::atoi(argv[2]));
  const auto wsPort = static_cast<std::uint16_t>(std::atoi(argv[3]));
  const int bridgePid = std::atoi(argv[4]);
  const int phones = std::min(80, argc > 5 ? std::atoi(argv[5]) : 80);
  const int seconds = argc > 6 ? std::atoi(argv[6]) : 10;
  const int rate = argc > 7 ? std::atoi(argv[7]) : 60;
  sentAt = new std::array<std::array<std::atomic<std::int64_t>, 65536>, 80>();

  asio::io_context io;
  asio::ip::udp::socket osc(io, {asio::ip::make_address("127.0.0.1"), oscPort});
  osc.set_option(asio::socket_base::receive_buffer_size(4 << 20));
  std::vector<std::unique_ptr<websocket::stream<asio::ip::tcp::socket>>> clients;
  for (int i = 0; i < 3; ++i) {
    auto ws = std::make_unique<websocket::stream<asio::ip::tcp::socket>>(io);
    ws->next_layer().connect({asio::ip::make_address("127.0.0.1"), wsPort});
    ws->handshake("127.0.0.1", "/");
    clients.push_back(std::move(ws));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  std::atomic<bool> stop{false};
  Latencies oscLatency, wsLatency[2];
  std::thread oscThread(ReceiveOsc, std::ref(osc), std::ref(oscLatency), std::cref(stop));
  std::thread wsThreads[2] = {std::thread(ReceiveWebSocket, std::ref(*clients[0]), std::ref(wsLatency[0])),
                              std::thread(ReceiveWebSocket, std::ref(*clients[1]), std::ref(wsLatency[1]))};
  const double cpuBefore = CpuSeconds(bridgePid);
  std::vector<std::thread> phoneThreads;
  for (int p = 0; p < phones; ++p) {
    phoneThreads.emplace_back(RunPhone, p, phones, serverPort, end,
                              std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate);
  }
  for (std::thread& thread : phoneThreads) thread.join();
  const double cpuSeconds = CpuSeconds(bridgePid) - cpuBefore;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  stop = true;
  {  // wakes the OSC thread
    asio::ip::udp::socket waker(io, asio::ip::udp::v4());
    waker.send_to(asio::buffer("x", 1), {asio::ip::make_address("127.0.0.1"), oscPort});
  }
  for (auto& ws : clients) ws->next_layer().shutdown(asio::socket_base::shutdown_both);
  oscThread.join();
  for (std::thread& thread : wsThreads) thread.join();

  oscLatency.Print("OSC");
  wsLatency[0].Print("WebSocket 1");
  wsLatency[1].Print("WebSocket 2");
  std::printf("bridge CPU   %.1f %% of one core over %.1f s (%d phones at %d Hz)\n",
              100.0 * cpuSeconds / elapsed, elapsed, phones, rate);
  return 0;
}
