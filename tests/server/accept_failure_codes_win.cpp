#include <winsock2.h>

#include "tests/server/accept_failure_codes.h"

AcceptFailureCodes SystemAcceptFailureCodes() {
  return {{WSAECONNRESET, WSAENOTCONN}, WSAEMFILE};
}
