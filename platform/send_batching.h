// Datagrams that leave together. A process that sends many small messages
// a millisecond pays for each call to the system more than for the bytes;
// this lets a run of them go in one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Sends each of count datagrams on the UDP socket to the address (a
// sockaddr of addressBytes bytes), in order, in as few calls to the system
// as it allows. A datagram that the socket cannot take now is dropped, as
// UDP may; it never waits.
void SendDatagrams(std::intptr_t socket, const void* address, std::size_t addressBytes,
                   const std::string* datagrams, std::size_t count);

}  // namespace platform
