#include "platform/send_batching.h"

#include <winsock2.h>

namespace platform {

void SendDatagrams(std::intptr_t socket, const void* address, std::size_t addressBytes,
                   const std::string* datagrams, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    sendto(static_cast<SOCKET>(socket), datagrams[i].data(), static_cast<int>(datagrams[i].size()),
           0, static_cast<const sockaddr*>(address), static_cast<int>(addressBytes));
  }
}

}  // namespace platform
