// Control identifiers of the main dialog (template 102): the windows' own;
// MainDialog and the console never see them.
#pragma once

namespace control {

inline constexpr int kOk = 1;  // "E&xit"
inline constexpr int kStart = 1000;
inline constexpr int kStop = 1001;
inline constexpr int kStatus = 1002;
inline constexpr int kReset = 1003;
inline constexpr int kHomeDirectory = 1006;
inline constexpr int kBrowse = 1007;
inline constexpr int kDefaultIndexFile = 1008;
inline constexpr int kVisitors = 1009;
inline constexpr int kRequests = 1010;
inline constexpr int kKbSent = 1011;
inline constexpr int kKbReceived = 1012;
inline constexpr int kPort = 1013;
inline constexpr int kPersistenceTimeout = 1014;
inline constexpr int kRequestsPerSecond = 1015;
inline constexpr int kActiveConnections = 1016;
inline constexpr int kX = 1017;
inline constexpr int kReReadFiles = 1018;
inline constexpr int kCursorEmulation = 1019;
inline constexpr int kPointerList = 1020;
inline constexpr int kFeedSharedMemory = 1021;
inline constexpr int kButtonLIndicator = 1022;
inline constexpr int kButtonRIndicator = 1023;
inline constexpr int kY = 1024;
inline constexpr int kVibrateShortSingle = 1025;
inline constexpr int kVibrateLongDouble = 1030;  // the buttons play kVibrations in order
inline constexpr int kOffScreen = 1031;
// The two lines at the bottom: where phones open the page; a click shows its QR code.
inline constexpr int kPhoneAddress = 1032;

}  // namespace control
