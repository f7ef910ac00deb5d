#include "common/phone_address.h"

std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey) {
  std::string address = "http://" + ipv4 + ":" + std::to_string(port) + "/";
  if (!accessKey.empty()) address += "#key=" + accessKey;
  return address;
}
