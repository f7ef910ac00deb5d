#include "common/phone_address.h"

#include <algorithm>
#include <cstdio>

namespace {

enum class Reach { kPrivateNetwork, kOther, kLinkLocal };

Reach ReachOf(const std::string& ipv4) {
  unsigned a = 0;
  unsigned b = 0;
  if (std::sscanf(ipv4.c_str(), "%u.%u", &a, &b) != 2) return Reach::kOther;
  if (a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168)) {
    return Reach::kPrivateNetwork;
  }
  if (a == 169 && b == 254) return Reach::kLinkLocal;
  return Reach::kOther;
}

}  // namespace

std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey) {
  std::string address = "http://" + ipv4 + ":" + std::to_string(port) + "/";
  if (!accessKey.empty()) address += "#key=" + accessKey;
  return address;
}

std::vector<std::string> LikeliestFirst(std::vector<std::string> ipv4Addresses) {
  std::stable_sort(
      ipv4Addresses.begin(), ipv4Addresses.end(),
      [](const std::string& a, const std::string& b) { return ReachOf(a) < ReachOf(b); });
  return ipv4Addresses;
}
