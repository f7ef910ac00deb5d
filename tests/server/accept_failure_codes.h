// The system's codes for a failed accept, for tests that make accepts fail:
// those that only say the peer went away first, and one that is a real fault
// of the server's side.
#pragma once

#include <vector>

struct AcceptFailureCodes {
  std::vector<int> peerGone;
  int serverFault = 0;
};

AcceptFailureCodes SystemAcceptFailureCodes();
