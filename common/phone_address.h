// The address a phone opens to reach the server's page: every address the
// programs show or encode is formed here, so that they all agree on it.
#pragma once

#include <string>
#include <vector>

// "http://A.B.C.D:PORT/", and "http://A.B.C.D:PORT/#key=KEY" when accessKey
// is not empty (the page takes the key from the fragment, which the browser
// never sends to the server).
std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey);

// The PC's IPv4 addresses with the one phones most likely reach first: the
// private ranges of home and school networks (10/8, 172.16/12, 192.168/16),
// then any other, and last the link-local ones (169.254/16) that a PC gives
// itself when no network answered. The system's order holds within each.
std::vector<std::string> LikeliestFirst(std::vector<std::string> ipv4Addresses);
