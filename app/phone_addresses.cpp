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
