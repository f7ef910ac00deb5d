// Which web pages may open the WebSocket. A browser lets any page it shows
// connect to any address, and tells the server the page's origin: without
// this check any site the user visits could read every report and drive the
// phones. Programs send no Origin and are let in.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// SCHEME://HOST:PORT in lower case, the port always written (80 and 443 when
// left out); empty when origin is no such thing ("null", a path, no host).
std::string CanonicalOrigin(std::string_view origin);

class Origins {
 public:
  // The bridge's own page on port, as 127.0.0.1, localhost, [::1] and
  // listenHost, and the canonical origins in extra.
  Origins(const std::string& listenHost, std::uint16_t port, const std::vector<std::string>& extra);

  bool Admits(std::string_view origin) const;

 private:
  std::set<std::string> admitted_;
};

}  // namespace bridge
