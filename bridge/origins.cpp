#include "bridge/origins.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace bridge {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool ValidPort(std::string_view digits) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc() && end == digits.data() + digits.size() && value >= 1 &&
         value <= 65535;
}

}  // namespace

std::string CanonicalOrigin(std::string_view origin) {
  const std::size_t separator = origin.find("://");
  if (separator == std::string_view::npos) return {};
  const std::string scheme = Lower(origin.substr(0, separator));
  if (scheme != "http" && scheme != "https") return {};
  std::string_view rest = origin.substr(separator + 3);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);  // as a user may type it
  if (rest.find_first_of("/?#@") != std::string_view::npos) return {};
  // The port's colon is the last one, after an IPv6 address's bracket.
  const std::size_t colon = rest.rfind(':');
  const bool hasPort = colon != std::string_view::npos &&
                       (rest.front() != '[' || colon > rest.rfind(']'));
  const std::string_view host = hasPort ? rest.substr(0, colon) : rest;
  if (host.empty() || host == "[]") return {};
  std::string port = scheme == "https" ? "443" : "80";
  if (hasPort) {
    if (!ValidPort(rest.substr(colon + 1))) return {};
    port = std::to_string(std::stoi(std::string(rest.substr(colon + 1))));
  }
  return scheme + "://" + Lower(host) + ":" + port;
}

Origins::Origins(const std::string& listenHost, std::uint16_t port,
                 const std::vector<std::string>& extra)
    : admitted_(extra.begin(), extra.end()) {
  const bool v6 = listenHost.find(':') != std::string::npos;
  for (const std::string& host :
       {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"),
        v6 ? "[" + listenHost + "]" : listenHost}) {
    admitted_.insert(CanonicalOrigin("http://" + host + ":" + std::to_string(port)));
  }
}

bool Origins::Admits(std::string_view origin) const {
  const std::string canonical = CanonicalOrigin(origin);
  return !canonical.empty() && admitted_.count(canonical) != 0;
}

}  // namespace bridge
