// The server engine's statistics, as the dialog shows them.
#pragma once

struct ServerStats {
  int activeConnections = 0;
  int requests = 0;  // accepted connections since the last reset
  double kbSent = 0;
  double kbReceived = 0;
  // Distinct client addresses since the object was made, up to
  // VisitorSet::kLimit; the count stays there after that.
  int visitors = 0;
};
