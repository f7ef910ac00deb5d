#include "app/phone_addresses.h"

#include "common/phone_address.h"

PhoneAddresses ChoosePhoneAddresses(const std::vector<std::string>& ipv4Addresses, int port,
                                    const std::string& accessKey) {
  PhoneAddresses addresses;
  for (const std::string& ipv4 : LikeliestFirst(ipv4Addresses)) {
    addresses.onNetwork.push_back(PhoneAddress(ipv4, port, accessKey));
  }
  addresses.onThisPcOnly = PhoneAddress("127.0.0.1", port, accessKey);
  return addresses;
}
