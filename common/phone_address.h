// The address a phone opens to reach the server's page: every address the
// programs show or encode is formed here, so that they all agree on it.
#pragma once

#include <string>

// "http://A.B.C.D:PORT/", and "http://A.B.C.D:PORT/#key=KEY" when accessKey
// is not empty (the page takes the key from the fragment, which the browser
// never sends to the server).
std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey);
