// The server's and a consumer's side of one shared memory area, opened in the
// fuzz folder under a name of this process: what the targets over the area use.
#pragma once

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "platform/process.h"
#include "pointer/shared_memory_channel.h"

struct ChannelPair {
  ChannelPair() {
    std::uint32_t version = 0;
    int created = 0;
    if (!server.SharedMemoryInit(1, FuzzFolder(), version, created) ||
        !server.SharedMemoryInitComplete() ||
        !consumer.SharedMemoryInit(0, FuzzFolder(), version, created)) {
      FuzzFailure("cannot set up the shared memory channel: " + server.GetLastErrorText() +
                  consumer.GetLastErrorText());
    }
  }

  const std::string name = "TVXHandvane fuzz area " + std::to_string(platform::ProcessId());
  SharedMemoryChannel server{name};
  SharedMemoryChannel consumer{name};
};
