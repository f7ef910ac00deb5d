// A classroom's Wi-Fi between two network namespaces, for the kernels that
// have no queueing discipline to emulate one: carries IP packets between a
// TUN device in the PC's namespace and one in the phones', with delay and
// jitter, random loss and outages per direction, and one rate limit with a
// bounded queue that both directions share, as they share the air.
//
//   link_emulator --pc NETNS_FILE --phones NETNS_FILE [--device NAME]
//                 [--seed N] [--rate BIT_PER_S] [--queue BYTES]
//                 [--[up-|down-]delay MS] [--[up-|down-]jitter MS]
//                 [--[up-|down-]loss FRACTION] [--outage AT_S:FOR_S]
//
// "up" is from the phones to the PC, "down" back; without the prefix an
// option sets both. Each packet waits the delay plus a jitter drawn evenly
// from -jitter to +jitter, but never leaves before the one sent before it on
// its connection: a Wi-Fi's retries hold a station's late frame back and
// everything behind it, they do not reorder; other stations' frames pass.
// Each connection stands for one phone. --outage drops everything for FOR_S
// seconds from AT_S seconds after the start; SIGUSR1 starts an outage that
// lasts until SIGUSR2. The randomness comes from --seed alone, so that runs
// repeat. Prints "ready" once both devices exist; ends on SIGTERM, SIGINT or
// the end of its standard input, with one line per direction:
// "up|down passed N lost N outage N overflow N connections N" (packets;
// connections: TCP SYNs that passed).
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Nanoseconds = std::int64_t;
constexpr Nanoseconds kMillisecond = 1'000'000;
constexpr Nanoseconds kSecond = 1'000'000'000;
constexpr std::size_t kMaxPacket = 65536;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t outageBySignal = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}
extern "C" void StartOutage(int) {
  outageBySignal = 1;
}
extern "C" void EndOutage(int) {
  outageBySignal = 0;
}

Nanoseconds Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * kSecond + now.tv_nsec;
}

struct Direction {
  explicit Direction(const char* directionName) : name(directionName) {}
  const char* name;
  double delayMs = 0;
  double jitterMs = 0;
  double loss = 0;
  int from = -1;  // the TUN device it reads
  int to = -1;    // the TUN device it writes
  std::unordered_map<std::uint64_t, Nanoseconds> lastDueOf;  // by connection
  std::multimap<Nanoseconds, std::vector<char>> inFlight;    // by due, then as sent
  unsigned long passed = 0, lost = 0, outage = 0, overflow = 0;
  unsigned long connections = 0;  // TCP SYNs without ACK that passed: connections opened
};

// A TCP segment over IPv4 that opens a connection.
bool OpensConnection(const std::vector<char>& bytes) {
  if (bytes.size() < 20 || (bytes[0] & 0xF0) != 0x40 || bytes[9] != 6) return false;
  const std::size_t header = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
  if (bytes.size() < header + 14) return false;
  const auto flags = static_cast<unsigned char>(bytes[header + 13]);
  return (flags & 0x12) == 0x02;
}

// The connection (addresses, protocol, ports) of an IPv4 packet, 0 for
// anything else: packets of one connection keep their order.
std::uint64_t ConnectionOf(const std::vector<char>& bytes) {
  if (bytes.size() < 20 || (bytes[0] & 0xF0) != 0x40) return 0;
  const std::size_t header = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
  const bool ported = (bytes[9] == 6 || bytes[9] == 17) && bytes.size() >= header + 4;
  std::uint64_t key = 1469598103934665603ull;  // FNV-1a over the fields that name it
  const auto mix = [&key, &bytes](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i)
      key = (key ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
  };
  mix(9, 1);
  mix(12, 8);
  if (ported) mix(header, 4);
  return key | 1;
}

// The air both directions share: a packet takes size / rate to send, after
// the ones queued before it; a queue longer than its bound drops the newcomer.
struct Medium {
  double bitsPerSecond = 0;  // 0: no limit
  std::size_t queueBytes = 64 * 1024;
  Nanoseconds freeAt = 0;
  std::deque<std::pair<Nanoseconds, std::size_t>> queued;  // (sent at, size)
  std::size_t backlog = 0;

  // When a packet of size bytes has been sent, or -1 when the queue is full.
  Nanoseconds Send(Nanoseconds now, std::size_t size) {
    if (bitsPerSecond <= 0) return now;
    for (; !queued.empty() && queued.front().first <= now; queued.pop_front())
      backlog -= queued.front().second;
    if (backlog + size > queueBytes) return -1;
    freeAt = std::max(freeAt, now) + static_cast<Nanoseconds>(size * 8.0 / bitsPerSecond * kSecond);
    queued.emplace_back(freeAt, size);
    backlog += size;
    return freeAt;
  }
};

struct Settings {
  std::string pcNamespace, phonesNamespace, device = "tvx0";
  unsigned long seed = 1;
  double outageAt = -1, outageFor = 0;
};

// Creates the TUN device in the network namespace of netnsFile and returns
// its descriptor; the process goes back to the namespace it was in.
int OpenTunIn(const std::string& netnsFile, const std::string& device) {
  const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  const int target = open(netnsFile.c_str(), O_RDONLY | O_CLOEXEC);
  int tun = -1;
  if (home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0) {
    tun = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::snprintf(request.ifr_name, IFNAMSIZ, "%s", device.c_str());
    if (tun >= 0 && ioctl(tun, TUNSETIFF, &request) != 0) {
      std::perror("link_emulator: TUNSETIFF");
      close(tun);
      tun = -1;
    }
    if (setns(home, CLONE_NEWNET) != 0) std::perror("link_emulator: back to its own namespace");
  } else {
    std::fprintf(stderr, "link_emulator: cannot enter %s: %s\n", netnsFile.c_str(),
                 std::strerror(errno));
  }
  if (home >= 0) close(home);
  if (target >= 0) close(target);
  return tun;
}

bool SetDirectional(Direction& up, Direction& down, const std::string& option, const char* value) {
  const bool upOnly = option.rfind("--up-", 0) == 0, downOnly = option.rfind("--down-", 0) == 0;
  const std::string what = option.substr(upOnly ? 5 : downOnly ? 7 : 2);
  double Direction::*field = what == "delay"    ? &Direction::delayMs
                             : what == "jitter" ? &Direction::jitterMs
                             : what == "loss"   ? &Direction::loss
                                                : nullptr;
  if (field == nullptr) return false;
  const double number = std::atof(value);
  if (!downOnly) up.*field = number;
  if (!upOnly) down.*field = number;
  return true;
}

bool ParseArguments(int argc, char** argv, Settings& settings, Medium& medium, Direction& up,
                    Direction& down) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    if (option == "--pc")
      settings.pcNamespace = value;
    else if (option == "--phones")
      settings.phonesNamespace = value;
    else if (option == "--device")
      settings.device = value;
    else if (option == "--seed")
      settings.seed = std::strtoul(value, nullptr, 10);
    else if (option == "--rate")
      medium.bitsPerSecond = std::atof(value);
    else if (option == "--queue")
      medium.queueBytes = std::strtoul(value, nullptr, 10);
    else if (option == "--outage") {
      if (std::sscanf(value, "%lf:%lf", &settings.outageAt, &settings.outageFor) != 2) return false;
    } else if (!SetDirectional(up, down, option, value))
      return false;
  }
  return argc % 2 == 1 && !settings.pcNamespace.empty() && !settings.phonesNamespace.empty();
}

bool StandardInputEnded() {
  char byte;
  return read(STDIN_FILENO, &byte, 1) <= 0;
}

class Link {
 public:
  Link(const Settings& settings, Medium& medium, Direction& up, Direction& down)
      : settings_(settings),
        medium_(medium),
        up_(up),
        down_(down),
        random_(settings.seed),
        start_(Now()) {}

  void Run() {
    std::vector<char> buffer(kMaxPacket);
    while (stopRequested == 0) {
      // Standard input ends with whoever started it, however that ended.
      pollfd fds[3] = {{up_.from, POLLIN, 0}, {down_.from, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
      if (poll(fds, 3, TimeoutMs()) < 0 && errno != EINTR) return;
      if (fds[2].revents != 0 && StandardInputEnded()) return;
      if (fds[0].revents & POLLIN) Take(up_, buffer);
      if (fds[1].revents & POLLIN) Take(down_, buffer);
      Deliver(up_);
      Deliver(down_);
    }
  }

 private:
  bool InOutage(Nanoseconds now) const {
    if (outageBySignal != 0) return true;
    const double seconds = static_cast<double>(now - start_) / kSecond;
    return settings_.outageAt >= 0 && seconds >= settings_.outageAt &&
           seconds < settings_.outageAt + settings_.outageFor;
  }

  // Reads every packet waiting on the direction's device and queues it.
  void Take(Direction& direction, std::vector<char>& buffer) {
    for (;;) {
      const ssize_t size = read(direction.from, buffer.data(), buffer.size());
      if (size <= 0) return;
      const Nanoseconds now = Now();
      // Drawn for every packet whatever befalls it, so that an outage does
      // not shift the losses and delays of the packets after it.
      const bool lost = std::uniform_real_distribution<double>(0, 1)(random_) < direction.loss;
      const double jitter =
          std::uniform_real_distribution<double>(-1, 1)(random_) * direction.jitterMs;
      if (InOutage(now)) {
        ++direction.outage;
        continue;
      }
      if (lost) {
        ++direction.lost;
        continue;
      }
      const Nanoseconds sent = medium_.Send(now, static_cast<std::size_t>(size));
      if (sent < 0) {
        ++direction.overflow;
        continue;
      }
      const auto delay =
          static_cast<Nanoseconds>(std::max(0.0, direction.delayMs + jitter) * kMillisecond);
      std::vector<char> bytes(buffer.data(), buffer.data() + size);
      Nanoseconds& lastDue = direction.lastDueOf[ConnectionOf(bytes)];
      lastDue = std::max(lastDue, sent + delay);
      direction.inFlight.emplace(lastDue, std::move(bytes));
    }
  }

  void Deliver(Direction& direction) {
    const Nanoseconds now = Now();
    for (auto packet = direction.inFlight.begin();
         packet != direction.inFlight.end() && packet->first <= now;
         packet = direction.inFlight.erase(packet)) {
      const std::vector<char>& bytes = packet->second;
      // A full device queue drops the packet, as a full radio queue would.
      if (write(direction.to, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        continue;
      ++direction.passed;
      if (OpensConnection(bytes)) ++direction.connections;
    }
    // A connection whose packets all left holds nothing back: forgotten, so
    // that the many short ones of a run do not pile up.
    if (direction.lastDueOf.size() > 4096) {
      for (auto entry = direction.lastDueOf.begin(); entry != direction.lastDueOf.end();)
        entry = entry->second <= now ? direction.lastDueOf.erase(entry) : std::next(entry);
    }
  }

  int TimeoutMs() const {
    Nanoseconds next = Now() + 100 * kMillisecond;  // the outage's edges are checked on arrival
    for (const Direction* direction : {&up_, &down_}) {
      if (!direction->inFlight.empty()) next = std::min(next, direction->inFlight.begin()->first);
    }
    return static_cast<int>(
        std::max<Nanoseconds>(0, (next - Now() + kMillisecond - 1) / kMillisecond));
  }

  const Settings& settings_;
  Medium& medium_;
  Direction& up_;
  Direction& down_;
  std::mt19937_64 random_;
  Nanoseconds start_;
};

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  Medium medium;
  Direction up("up"), down("down");
  if (!ParseArguments(argc, argv, settings, medium, up, down)) {
    std::fprintf(
        stderr,
        "usage: link_emulator --pc NETNS_FILE --phones NETNS_FILE [options] (see its source)\n");
    return 2;
  }
  const int pc = OpenTunIn(settings.pcNamespace, settings.device);
  const int phones = OpenTunIn(settings.phonesNamespace, settings.device);
  if (pc < 0 || phones < 0) return 1;
  up.from = down.to = phones;
  down.from = up.to = pc;

  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = StartOutage;
  sigaction(SIGUSR1, &action, nullptr);
  action.sa_handler = EndOutage;
  sigaction(SIGUSR2, &action, nullptr);

  std::printf("ready\n");
  std::fflush(stdout);
  Link(settings, medium, up, down).Run();
  for (const Direction* direction : {&up, &down}) {
    std::printf("%s passed %lu lost %lu outage %lu overflow %lu connections %lu\n", direction->name,
                direction->passed, direction->lost, direction->outage, direction->overflow,
                direction->connections);
  }
  close(pc);
  close(phones);
  return 0;
}
