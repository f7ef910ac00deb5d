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
  // One report of a batch. answered: whether its answer reaches the phone
  // (only the batch's last does); a command taken for an unseen answer would
  // be lost, so a handler that hands out commands takes none then. A phone
  // sends a batch again, with the same frames, when its answer was lost: a
  // handler that keeps frames forwards no report twice.
  virtual ResponseText HandleBatchedReport(std::string_view routingPath,
                                           std::uint32_t peerAddress, bool answered) {
    static_cast<void>(answered);
    return HandlePointerReport(routingPath, peerAddress);
  }
};
