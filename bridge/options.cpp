#include "bridge/options.h"

#include <charconv>
#include <set>

#include "bridge/origins.h"

#include <boost/asio/ip/address.hpp>

namespace bridge {

const char* const kUsage =
    "usage: TVXBridge [--folder DIR] [--osc HOST:PORT]... [--osc-scheme by-pointer|legacy]\n"
    "                 [--osc-listen [ADDR:]PORT] [--ws PORT] [--ws-host ADDR]\n"
    "                 [--allow-origin URL]...\n"
    "       TVXBridge --help | --version\n";

const char* const kHelp =
    "\n"
    "TVXBridge takes the phones' reports from a running TVXHandvane and passes each\n"
    "one on, as OSC and over a WebSocket; it takes vibrations and commands for the\n"
    "phones back. It follows the server when it ends and starts again.\n"
    "\n"
    "  --folder DIR       the folder of TVXHDVMemory.INI: PathToIniFolder under\n"
    "                     [Paths] in TVXHandvane.INI (default: the current folder)\n"
    "  --osc HOST:PORT    sends every report there as /tvxhdv/pN/xy f f (x, y),\n"
    "                     /tvxhdv/pN/buttons i i (left, right) and /tvxhdv/pN/pad i\n"
    "                     (on_pad), N the pointer; phones coming and going as\n"
    "                     /tvxhdv/pN/present i (1, 0) and the pointers present as\n"
    "                     /tvxhdv/alive i i ... (also every second); server\n"
    "                     changes as /tvxhdv/server s (\"gone\", \"new\"); repeatable\n"
    "  --osc-scheme legacy  sends each report as /tvxhdv/pointer i f f i i i i\n"
    "                     (pointer, x, y, left, right, on_pad, frame) instead\n"
    "  --osc-listen PORT  takes, for pointer N, /tvxhdv/pN/vibrate s (\"short-single\"\n"
    "                     ... \"long-double\") or i (1 to 6), /tvxhdv/pN/show s [i]\n"
    "                     (\"correct\", \"wrong\", \"clear\", \"colour\" 0-7, \"digit\"\n"
    "                     0-9), /tvxhdv/pN/send i (a code the phone's page knows)\n"
    "                     and /tvxhdv/pN/cancel (drops the commands still waiting\n"
    "                     for N); each also as /tvxhdv/vibrate i ... with N first.\n"
    "                     On 127.0.0.1 (ADDR:PORT for another address); errors\n"
    "                     go back to the sender as /tvxhdv/error s\n"
    "  --ws PORT          serves WebSocket clients (a JSON object per report, or an\n"
    "                     array per pass with ?batch=1; presence on connect) and,\n"
    "                     at /, a page that shows every pointer\n"
    "  --ws-host ADDR     the address the WebSocket port listens on (default\n"
    "                     127.0.0.1); whoever reaches it can vibrate the phones\n"
    "  --allow-origin URL lets a web page from URL (http://HOST:PORT) use the\n"
    "                     WebSocket; only the bridge's own page may otherwise\n"
    "                     (programs that send no Origin always may); repeatable\n"
    "\n"
    "Only one program may take the server's reports: do not run TVXTap watch or\n"
    "another consuming application beside TVXBridge.\n";

namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

// HOST:PORT, [IPv6]:PORT, or PORT alone when defaultHost is given.
bool ParseEndpoint(const std::string& text, const char* defaultHost, Endpoint& endpoint) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    if (defaultHost == nullptr) return false;
    endpoint.host = defaultHost;
    return ParsePort(text, endpoint.port);
  }
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host.empty()) return false;
  endpoint.host = host;
  return ParsePort(text.substr(colon + 1), endpoint.port);
}

// Listening takes a numeric address: a name could stand for many, and "0"
// or a mistyped name would otherwise end in the system's bare "Invalid
// argument" once the port is opened. IPv4 only in full: Windows would read
// "0" as 0.0.0.0 and "127.1" as 127.0.0.1, other systems refuse both.
bool ListenableAddress(const std::string& host) {
  if (host == "localhost") return true;
  boost::system::error_code error;
  const boost::asio::ip::address address = boost::asio::ip::make_address(host, error);
  return !error && (address.is_v6() || address.to_string() == host);
}

Outcome NotListenable(const std::string& option, const std::string& host) {
  return Outcome::Failure(option +
                          " needs a numeric address to listen on (127.0.0.1, 0.0.0.0, ::), not \"" +
                          host + "\"");
}

}  // namespace

Outcome ParseOptions(const std::vector<std::string>& arguments, Options& options) {
  std::set<std::string> given;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--version") {
      options.version = true;
      continue;
    }
    if (name != "--folder" && name != "--osc" && name != "--osc-listen" &&
        name != "--osc-scheme" && name != "--ws" && name != "--ws-host" &&
        name != "--allow-origin") {
      return Outcome::Failure("unknown option \"" + name + "\"");
    }
    if (i + 1 == arguments.size()) return Outcome::Failure(name + " needs a value");
    // Only --osc and --allow-origin add: another of the others would
    // silently replace the first.
    if (name != "--osc" && name != "--allow-origin" && !given.insert(name).second) {
      return Outcome::Failure(name + " is given more than once");
    }
    const std::string& value = arguments[++i];
    if (name == "--folder") {
      options.folder = value;
    } else if (name == "--osc") {
      Endpoint target;
      if (!ParseEndpoint(value, nullptr, target)) {
        return Outcome::Failure("--osc needs HOST:PORT, not \"" + value + "\"");
      }
      options.oscTargets.push_back(target);
    } else if (name == "--osc-listen") {
      if (!ParseEndpoint(value, "127.0.0.1", options.oscListen)) {
        return Outcome::Failure("--osc-listen needs a port from 1 to 65535, not \"" + value + "\"");
      }
      if (!ListenableAddress(options.oscListen.host)) {
        return NotListenable("--osc-listen", options.oscListen.host);
      }
    } else if (name == "--osc-scheme") {
      if (value != "by-pointer" && value != "legacy") {
        return Outcome::Failure("--osc-scheme needs by-pointer or legacy, not \"" + value + "\"");
      }
      options.oscScheme = value == "legacy" ? osc::Scheme::kLegacy : osc::Scheme::kByPointer;
    } else if (name == "--allow-origin") {
      const std::string origin = CanonicalOrigin(value);
      if (origin.empty()) {
        return Outcome::Failure("--allow-origin needs http://HOST[:PORT] or https://HOST[:PORT], not \"" +
                                value + "\"");
      }
      options.allowOrigins.push_back(origin);
    } else if (name == "--ws") {
      if (!ParsePort(value, options.wsPort)) {
        return Outcome::Failure("--ws needs a port from 1 to 65535, not \"" + value + "\"");
      }
    } else if (!ListenableAddress(value)) {
      return NotListenable("--ws-host", value);
    } else {
      options.wsHost = value;
    }
  }
  if (!options.help && !options.version && options.oscTargets.empty() &&
      options.oscListen.port == 0 && options.wsPort == 0) {
    return Outcome::Failure("no output: give --osc, --osc-listen or --ws");
  }
  return Outcome::Ok();
}

std::string ShowEndpoint(const std::string& host, unsigned port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

}  // namespace bridge
