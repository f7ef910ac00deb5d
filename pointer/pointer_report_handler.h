// The report route's one call out of request handling: the pointer protocol
// decodes a "/tolvex" path and decides the four characters sent back.
#pragma once

#include <array>
#include <string_view>

// Four hexadecimal digits: packet number, then command code.
using ResponseText = std::array<char, 4>;

inline constexpr ResponseText kNoCommandResponse = {'0', '0', '0', '0'};

class PointerReportHandler {
 public:
  virtual ~PointerReportHandler() = default;
  // Called on client threads, several at once.
  virtual ResponseText HandlePointerReport(std::string_view routingPath) = 0;
};
