// Small writes that leave together. A process that sends many small
// messages a millisecond pays for each send in waking whoever takes it,
// more than for the bytes; these let a run of them go as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// While held, the TCP socket's writes gather into full segments; letting go
// sends what is held at once. A no-op where the system has no such switch:
// the writes then go one by one, as without it.
void HoldTcpSegments(std::intptr_t socket, bool hold);

// Sends each of count datagrams on the UDP socket to the address (a
// sockaddr of addressBytes bytes), in order, in as few calls to the system
// as it allows. A datagram that the socket cannot take now is dropped, as
// UDP may; it never waits.
void SendDatagrams(std::intptr_t socket, const void* address, std::size_t addressBytes,
                   const std::string* datagrams, std::size_t count);

}  // namespace platform
