// The report route's one call out of request handling: the pointer protocol
// decodes a "/tolvex" path and decides the four characters sent back.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// Four hexadecimal digits: packet number, then command code.
using ResponseText = std::array<char, 4>;

inline constexpr ResponseText kNoCommandResponse = {'0', '0', '0', '0'};

class PointerReportHandler {
 public:
  virtual ~PointerReportHandler() = default;
  // Called on client threads, several at once. peerAddress: the phone's IPv4
  // address, its first byte highest; 0 when unknown.
  virtual ResponseText HandlePointerReport(std::string_view routingPath,
                                           std::uint32_t peerAddress) = 0;
  // A report of a batch other than its last: applied like any report, but
  // its answer never reaches the phone, so a command it took would be lost.
  // A handler that hands out commands overrides it to take none.
  virtual void HandleUnansweredReport(std::string_view routingPath, std::uint32_t peerAddress) {
    HandlePointerReport(routingPath, peerAddress);
  }
};
