// Control ids of the main dialog that its logic writes to.
#pragma once

inline constexpr int kControlVisitors = 1009;
inline constexpr int kControlRequests = 1010;
inline constexpr int kControlKbSent = 1011;
inline constexpr int kControlKbReceived = 1012;
inline constexpr int kControlRequestsPerSecond = 1015;
inline constexpr int kControlActiveConnections = 1016;
inline constexpr int kControlPointerX = 1017;
inline constexpr int kControlCursorEmulation = 1019;  // check box
inline constexpr int kControlButtonLIndicator = 1022;
inline constexpr int kControlButtonRIndicator = 1023;
inline constexpr int kControlPointerY = 1024;
inline constexpr int kControlOffScreen = 1031;  // check box
