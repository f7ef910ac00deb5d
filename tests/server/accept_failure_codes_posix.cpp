#include <cerrno>

#include "tests/server/accept_failure_codes.h"

AcceptFailureCodes SystemAcceptFailureCodes() {
  return {{ECONNABORTED}, EMFILE};
}
