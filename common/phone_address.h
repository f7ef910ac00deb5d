// The address of TVXHandvane's page that a phone opens, as every part of the
// programs shows it (console, window, QR codes): with the class's access key
// in the fragment when one is set, so that scanning it is all a phone needs.
#pragma once

#include <string>

// "http://A.B.C.D:PORT/", and "http://A.B.C.D:PORT/#key=KEY" when accessKey
// is not empty.
std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey);
