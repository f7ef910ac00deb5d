// The server engine's statistics, as the dialog shows them.
#pragma once

struct ServerStats {
  int activeConnections = 0;
  int requests = 0;  // accepted connections since the last reset
  double kbSent = 0;
  double kbReceived = 0;
  // Distinct client addresses with a request answered since the object was
  // made, up to VisitorSet::kLimit; the count stays there after that, and
  // Capped says that more came. Phones refused for the access key count
  // apart, the same way.
  int visitors = 0;
  bool visitorsCapped = false;
  int refusedPhones = 0;
  bool refusedPhonesCapped = false;
};
