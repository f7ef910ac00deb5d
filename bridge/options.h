// TVXBridge's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/osc_message.h"
#include "bridge/outcome.h"

namespace bridge {

struct Endpoint {
  std::string host;
  std::uint16_t port = 0;
};

struct Options {
  std::string folder = ".";
  std::vector<Endpoint> oscTargets;  // --osc HOST:PORT, any number
  Endpoint oscListen;                // --osc-listen [ADDR:]PORT; port 0: none
  osc::Scheme oscScheme = osc::Scheme::kByPointer;  // --osc-scheme by-pointer|legacy
  std::uint16_t wsPort = 0;          // --ws PORT; 0: none
  std::string wsHost = "127.0.0.1";  // --ws-host ADDR
  std::vector<std::string> allowOrigins;  // --allow-origin URL, canonical, any number
  bool help = false;
  bool version = false;
};

extern const char* const kUsage;
extern const char* const kHelp;

// Fills options from the arguments (without the program's name), or says
// what is wrong with them.
Outcome ParseOptions(const std::vector<std::string>& arguments, Options& options);

// HOST:PORT as the bridge shows it, an IPv6 address in brackets: [::]:18021.
std::string ShowEndpoint(const std::string& host, unsigned port);

// Whether an address given for listening reaches only this machine.
bool IsLoopback(const std::string& host);

}  // namespace bridge
