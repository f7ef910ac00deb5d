// A plain blocking TCP client on the loopback address, for the programs that
// drive the server from outside: tests and load runs.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

class ClientSocket {
 public:
  static constexpr int kTimedOut = -1;
  static constexpr int kFailed = -2;

  ClientSocket() = default;
  ~ClientSocket() { Close(); }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Connects to 127.0.0.1:port.
  bool Connect(std::uint16_t port);
  bool IsConnected() const { return handle_ != -1; }
  bool SendAll(std::string_view bytes);
  // Tells the server that nothing more will be sent; receiving goes on.
  bool ShutdownSending();
  // Bytes received (waiting up to timeoutMs for the first), 0 when the peer
  // closed, kTimedOut or kFailed.
  int ReceiveSome(char* buffer, int capacity, int timeoutMs);
  // Shrinks the receive buffer; call before Connect.
  void SetReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }
  void Close();

 private:
  std::intptr_t handle_ = -1;
  int receiveBufferSize_ = 0;
};

// A port that nothing listens on at the moment, as the system hands them out.
std::uint16_t FindFreePort();

}  // namespace platform
