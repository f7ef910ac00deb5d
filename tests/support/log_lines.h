// Reading back what a test's diagnostic log holds.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

// The messages of the log file without their time stamps, in order.
inline std::vector<std::string> LogMessages(const std::string& logFile) {
  const std::string text = TempFolder::ReadAll(logFile);
  constexpr std::size_t kStampLength = sizeof "2026/12/06-21:43:52.120: " - 1;
  std::vector<std::string> messages;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    messages.push_back(text.substr(start + kStampLength, end - start - kStampLength));
    start = end + 2;
  }
  return messages;
}
