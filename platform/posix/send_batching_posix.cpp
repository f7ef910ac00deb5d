#include "platform/send_batching.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

namespace platform {

namespace {

constexpr std::size_t kDatagramsPerCall = 64;

}  // namespace

void SendDatagrams(std::intptr_t socket, const void* address, std::size_t addressBytes,
                   const std::string* datagrams, std::size_t count) {
  mmsghdr messages[kDatagramsPerCall] = {};
  iovec parts[kDatagramsPerCall] = {};
  while (count > 0) {
    const std::size_t batch = std::min(count, kDatagramsPerCall);
    for (std::size_t i = 0; i < batch; ++i) {
      parts[i].iov_base = const_cast<char*>(datagrams[i].data());
      parts[i].iov_len = datagrams[i].size();
      messages[i].msg_hdr.msg_name = const_cast<void*>(address);
      messages[i].msg_hdr.msg_namelen = static_cast<socklen_t>(addressBytes);
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int sent = sendmmsg(static_cast<int>(socket), messages, static_cast<unsigned>(batch),
                              MSG_DONTWAIT);
    // The call stops at the first datagram the socket refuses: that one is
    // dropped and the rest still go.
    std::size_t done = sent > 0 ? static_cast<std::size_t>(sent) : 0;
    if (done < batch) ++done;
    datagrams += done;
    count -= done;
  }
}

}  // namespace platform
