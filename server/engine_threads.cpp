// The accept thread and the helper thread of the engine.

#include "server/threaded_server.h"

namespace {

constexpr std::uint16_t kSocketVersion = 0x0202;
constexpr int kHelperPollMs = 100;
constexpr int kFinishedThreadWaitMs = 1000;
constexpr int kWaitWithoutLimit = -1;

}  // namespace

// A start-up failure wakes Run at once: a port that another program holds
// must not keep the operator's window waiting for the start-up timeout.
unsigned ThreadedServer::AcceptThread(void* server) {
  auto* self = static_cast<ThreadedServer*>(server);
  if (!self->ServeListeningSocket()) {
    self->acceptGaveUp_ = true;
    self->startupEvent_.Set();
  }
  return platform::kThreadExitCode;
}

// Every start-up failure closes what this thread made so far and releases
// the socket library. False when it could not start listening.
bool ThreadedServer::ServeListeningSocket() {
  const auto port = static_cast<std::uint16_t>(port_ & 0xFFFF);
  std::uint16_t granted = 0;
  if (const platform::Result started = platform::StartSocketLibrary(granted); !started) {
    WriteLog(kErrorLogFileName, "WSAStartup(...) failure", "AcceptThread", started.Code());
    return false;
  }
  if (granted != kSocketVersion) {
    WriteLog(kErrorLogFileName, "Requested Socket version not exist", "AcceptThread", 0);
    platform::StopSocketLibrary();
    return false;
  }
  platform::Socket listening;
  platform::NetEvent acceptEvent;
  const auto giveUp = [&](const char* message, platform::Result failure) {
    acceptEvent.Close();
    shutdownEvent_.Close();
    listening.Close();
    WriteLog(kErrorLogFileName, message, "AcceptThread", failure.Code());
    platform::StopSocketLibrary();
    return false;
  };
  const platform::SocketCalls& calls = socketCalls_;
  if (const platform::Result created = calls.createListeningSocket(listening); !created) {
    return giveUp("WSASocket(...) failure", created);
  }
  if (const platform::Result bound = calls.bindAnyAddress(listening, port); !bound) {
    return giveUp("bind(...) failure", bound);
  }
  if (const platform::Result listened = calls.listen(listening); !listened) {
    return giveUp("listen(...) failure", listened);
  }
  if (const platform::Result created = calls.createEvent(shutdownEvent_); !created) {
    return giveUp("WSACreateEvent(...) failure for ShutdownEvent", created);
  }
  if (const platform::Result created = calls.createEvent(acceptEvent); !created) {
    return giveUp("WSACreateEvent(...) failure for Event", created);
  }
  if (const platform::Result selected =
          calls.selectEvents(acceptEvent, listening, platform::kNetAccept);
      !selected) {
    return giveUp("WSAEventSelect(...) failure", selected);
  }
  socketLibraryStarted_ = true;
  startupEvent_.Set();
  AcceptLoop(listening, acceptEvent);
  return true;
}

void ThreadedServer::AcceptLoop(platform::Socket& listening, platform::NetEvent& acceptEvent) {
  const platform::SocketCalls& calls = socketCalls_;
  for (;;) {
    platform::WaitResult woken = platform::WaitResult::kTimeout;
    const platform::Result waited =
        calls.waitForEither(shutdownEvent_, acceptEvent, platform::kWaitForever, woken);
    if (waited && woken == platform::WaitResult::kFirst) return;
    if (!waited || woken != platform::WaitResult::kSecond) {
      WriteLog(kErrorLogFileName, "WaitForMultipleObjects(...) failure", "AcceptThread",
               waited.Code());
      return;
    }
    unsigned events = 0;
    if (const platform::Result enumerated = calls.enumerateEvents(acceptEvent, listening, events);
        !enumerated) {
      WriteLog(kErrorLogFileName, "WSAEnumNetworkEvents(...) failure", "AcceptThread",
               enumerated.Code());
      return;
    }
    if (events != platform::kNetAccept) continue;
    // One connection per wake-up: the accept re-enables the event, which is
    // signalled again at once while more connections wait. Draining the queue
    // until an accept would block saves nothing measurable, and some socket
    // stacks then fail to signal the next connection at all.
    AcceptOne(listening);
  }
}

void ThreadedServer::AcceptOne(platform::Socket& listening) {
  platform::PeerAddress peer;
  platform::Socket client;
  if (const platform::Result accepted = socketCalls_.acceptConnection(listening, client, peer);
      !accepted) {
    // Another wake-up may find the connection taken already, or its peer may
    // have reset it before it was accepted; nothing failed here then.
    if (!platform::IsWouldBlock(accepted.Code()) &&
        !platform::IsPeerGoneBeforeAccept(accepted.Code()))
      WriteLog(kErrorLogFileName, "WSAAccept(...) failure", "AcceptThread", accepted.Code());
    return;
  }
  if (!AddClient(std::move(client), peer)) {
    WriteLog(kErrorLogFileName, "AddClient(...) failure", "AcceptThread", 0);
  }
}

unsigned ThreadedServer::HelperThread(void* server) {
  auto* self = static_cast<ThreadedServer*>(server);
  self->startupEvent_.Set();
  platform::WaitResult woken = platform::WaitResult::kTimeout;
  while (platform::WaitForSignal(self->shutdownEvent_, kHelperPollMs, woken) &&
         woken == platform::WaitResult::kTimeout) {
    self->ReapFinishedThreads();
  }
  return platform::kThreadExitCode;
}

// Retired client threads have nothing left to do but return. One that is
// slow to is waited for, never ended by force: ending a thread in the middle
// of an allocation could leave the heap locked for every other thread. The
// list is taken out first, so no lock is held while waiting.
void ThreadedServer::ReapFinishedThreads() {
  WorkerList ended;
  {
    platform::LockGuard list(listLock_);
    ended.swap(finishedWorkers_);
  }
  for (const auto& worker : ended) {
    if (worker->thread.WaitForEnd(kFinishedThreadWaitMs)) continue;
    WriteLog(kErrorLogFileName, "WaitForSingleObject(...) timed out", "HelperThread", 0);
    worker->thread.WaitForEnd(kWaitWithoutLimit);
  }
}
