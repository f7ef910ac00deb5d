#include "app/phone_addresses.h"

#include "common/phone_address.h"

PhoneAddresses ChoosePhoneAddresses(const std::vector<platform::NetworkAddress>& networkAddresses,
                                    int port, const std::string& accessKey) {
  PhoneAddresses addresses;
  for (const platform::NetworkAddress& address : LikeliestFirst(networkAddresses)) {
    addresses.onNetwork.push_back(PhoneAddress(address.ipv4, port, accessKey));
  }
  addresses.onThisPcOnly = PhoneAddress("127.0.0.1", port, accessKey);
  return addresses;
}

PhoneAddressLines DescribePhoneAddresses(bool running, const PhoneAddresses& addresses) {
  if (!running) {
    return {
        "The server is not running: phones cannot connect.\n"
        "Start it, and the address for the phones shows here.",
        ""};
  }
  if (addresses.onNetwork.empty()) {
    return {
        "No network: phones cannot connect until this PC is on one.\n"
        "Only a browser on this PC opens " +
            addresses.onThisPcOnly,
        ""};
  }
  const std::string& first = addresses.onNetwork.front();
  std::string text = "Phones open " + first + "  (click for its QR code)";
  for (std::size_t i = 1; i < addresses.onNetwork.size(); ++i) {
    text += (i == 1 ? "\nor " : ", ") + addresses.onNetwork[i];
  }
  return {text, first};
}
