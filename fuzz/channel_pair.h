// The server's side of one shared memory area, created in the fuzz folder
// under a name of this process, and a consumer's handle on it from the kit:
// what the targets over the area use.
#pragma once

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "platform/process.h"
#include "pointer/fifo_ring.h"
#include "pointer/shared_memory_channel.h"
#include "sdk/c/tvxhdv.h"

struct ChannelPair {
  ChannelPair() {
    std::uint32_t version = 0;
    int created = 0;
    if (!server.SharedMemoryInit(1, FuzzFolder(), version, created) ||
        !server.SharedMemoryInitComplete()) {
      FuzzFailure("cannot set up the shared memory channel: " + server.GetLastErrorText());
    }
    consumer = tvxhdv_open(FuzzFolder().c_str(), 0);
    if (consumer == nullptr)
      FuzzFailure(std::string("cannot open the area: ") + tvxhdv_last_error());
  }
  ~ChannelPair() { tvxhdv_close(consumer); }
  ChannelPair(const ChannelPair&) = delete;
  ChannelPair& operator=(const ChannelPair&) = delete;

  // The consumer puts a command: through the kit, or, where the kit refuses
  // the pointer or the code, as a program built without it could.
  void PutCommand(int pointer, std::uint32_t code) {
    if (tvxhdv_send(consumer, pointer, code) != TVXHDV_BAD_ARGUMENT) return;
    if (pointer < 0 || pointer >= kCommandFifoCount) return;
    FifoRing<CommandFifo>(server.GetHeader()->commandFifos[pointer]).Put(CommandRecord{code, 0});
  }

  const std::string name = "TVXHandvane fuzz area " + std::to_string(platform::ProcessId());
  SharedMemoryChannel server{name};
  tvxhdv* consumer = nullptr;
};
