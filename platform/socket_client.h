// A plain blocking TCP client on the loopback address, for the programs that
// drive the server from outside: tests and load runs.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"

namespace platform {

// Whether a failed receive only says that nothing came in time.
bool IsTimedOut(int error);

class ClientSocket {
 public:
  ClientSocket() = default;
  ~ClientSocket() { Close(); }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Connects to 127.0.0.1:port.
  Result Connect(std::uint16_t port);
  // The same from 127.0.0.<host>: the server tells phones apart by address,
  // so each phone of a test takes a loopback address of its own.
  Result ConnectFrom(std::uint8_t host, std::uint16_t port);
  bool IsConnected() const { return handle_ != -1; }
  Result SendAll(std::string_view bytes);
  // Tells the server that nothing more will be sent; receiving goes on.
  Result ShutdownSending();
  // Waits up to timeoutMs for the first byte, then receives what came, at
  // most capacity bytes; received is 0 when the peer closed (or reset) the
  // connection. Nothing in time fails with a code that IsTimedOut knows.
  Result ReceiveSome(char* buffer, int capacity, int timeoutMs, int& received);
  // Shrinks the receive buffer; call before Connect.
  void SetReceiveBufferSize(int bytes) { receiveBufferSize_ = bytes; }
  void Close();

 private:
  std::intptr_t handle_ = -1;
  int receiveBufferSize_ = 0;
};

// A port that nothing listens on at the moment, as the system hands them out.
Result FindFreePort(std::uint16_t& port);

}  // namespace platform
