// Where phones find the server's page on this PC: the one choice that the
// console prints at start-up and the window shows in its address line.
#pragma once

#include <string>
#include <vector>

#include "platform/network_addresses.h"

struct PhoneAddresses {
  // The page on each of the PC's network addresses, the likeliest first
  // (LikeliestFirst, which Codeplate's URL=auto follows too); empty when the
  // PC is on no network.
  std::vector<std::string> onNetwork;
  // The page for a browser on this PC alone: all a PC without a network has.
  std::string onThisPcOnly;
};

// networkAddresses: the PC's IPv4 addresses without loopback, as the system
// lists them (platform::LocalNetworkAddresses).
PhoneAddresses ChoosePhoneAddresses(const std::vector<platform::NetworkAddress>& networkAddresses,
                                    int port, const std::string& accessKey);

// The dialog's two bottom lines for addresses as chosen above, and the
// address their click shows as a QR code (empty while phones have none).
struct PhoneAddressLines {
  std::string text;
  std::string clickable;
};
PhoneAddressLines DescribePhoneAddresses(bool running, const PhoneAddresses& addresses);
