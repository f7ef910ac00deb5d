// The accept thread and the helper thread of the engine.
#include <cstdio>

#include "server/threaded_server.h"

namespace {

const char kLogFile[] = "DIDidezu.log";
constexpr std::uint16_t kSocketVersion = 0x0202;
constexpr int kHelperPollMs = 100;
constexpr int kFinishedThreadWaitMs = 1000;
constexpr int kWaitWithoutLimit = -1;

}  // namespace

unsigned ThreadedServer::AcceptThread(void* server) {
  static_cast<ThreadedServer*>(server)->ServeListeningSocket();
  return platform::kThreadExitCode;
}

// Every start-up failure closes what this thread made so far and releases
// the socket library; Run then reports that no answer came.
void ThreadedServer::ServeListeningSocket() {
  const auto port = static_cast<std::uint16_t>(port_ & 0xFFFF);
  std::uint16_t granted = 0;
  if (const int result = platform::StartSocketLibrary(granted)) {
    WriteLog(kLogFile, "WSAStartup(...) failure", "AcceptThread", result);
    return;
  }
  if (granted != kSocketVersion) {
    WriteLog(kLogFile, "Requested Socket version not exist", "AcceptThread", 0);
    platform::StopSocketLibrary();
    return;
  }
  platform::Socket listening;
  platform::NetEvent acceptEvent;
  const auto giveUp = [&](const char* message, int error) {
    acceptEvent.Close();
    shutdownEvent_.Close();
    listening.Close();
    WriteLog(kLogFile, message, "AcceptThread", error);
    platform::StopSocketLibrary();
  };
  listening = platform::CreateListeningSocket();
  if (!listening.IsValid()) {
    return giveUp("WSASocket(...) failure", platform::LastSocketError());
  }
  if (!platform::BindAnyAddress(listening, port)) {
    return giveUp("bind(...) failure", platform::LastSocketError());
  }
  if (!platform::Listen(listening)) {
    return giveUp("listen(...) failure", platform::LastSocketError());
  }
  if (!shutdownEvent_.Create()) {
    return giveUp("WSACreateEvent(...) failure for ShutdownEvent", platform::LastSocketError());
  }
  if (!acceptEvent.Create()) {
    return giveUp("WSACreateEvent(...) failure for Event", platform::LastSocketError());
  }
  if (!acceptEvent.Select(listening, platform::kNetAccept)) {
    return giveUp("WSAEventSelect(...) failure", platform::LastSocketError());
  }
  socketLibraryStarted_ = true;
  startupEvent_.Set();
  AcceptLoop(listening, acceptEvent);
}

void ThreadedServer::AcceptLoop(platform::Socket& listening, platform::NetEvent& acceptEvent) {
  for (;;) {
    const platform::WaitResult woken =
        platform::WaitForEither(shutdownEvent_, acceptEvent, platform::kWaitForever);
    if (woken == platform::WaitResult::kFirst) return;
    if (woken != platform::WaitResult::kSecond) {
      WriteLog(kLogFile, "WaitForMultipleObjects(...) failure", "AcceptThread",
               platform::LastSocketError());
      return;
    }
    unsigned events = 0;
    if (const int error = acceptEvent.Enumerate(listening, events)) {
      WriteLog(kLogFile, "WSAEnumNetworkEvents(...) failure", "AcceptThread", error);
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
  platform::Socket client = platform::AcceptConnection(listening, peer);
  if (!client.IsValid()) {
    const int error = platform::LastSocketError();
    // Another wake-up may find the connection gone already; nothing failed then.
    if (!platform::IsWouldBlock(error))
      WriteLog(kLogFile, "WSAAccept(...) failure", "AcceptThread", error);
    return;
  }
  char address[16];
  std::snprintf(address, sizeof address, "%d.%d.%d.%d", peer.bytes[0], peer.bytes[1], peer.bytes[2],
                peer.bytes[3]);
  if (!AddClient(std::move(client), address, peer.portNetworkOrder)) {
    WriteLog(kLogFile, "AddClient(...) failure", "AcceptThread", 0);
  }
}

unsigned ThreadedServer::HelperThread(void* server) {
  auto* self = static_cast<ThreadedServer*>(server);
  self->startupEvent_.Set();
  while (platform::WaitForSignal(self->shutdownEvent_, kHelperPollMs) ==
         platform::WaitResult::kTimeout) {
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
    WriteLog(kLogFile, "WaitForSingleObject(...) timed out", "HelperThread", 0);
    worker->thread.WaitForEnd(kWaitWithoutLimit);
  }
}
