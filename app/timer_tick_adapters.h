// The program's protocol and server engine as the timer tick's sources.
#pragma once

#include "app/timer_tick.h"
#include "pointer/pointer_protocol.h"
#include "server/threaded_server.h"

class ProtocolPointerStatus final : public PointerStatusSource {
 public:
  explicit ProtocolPointerStatus(PointerProtocol& protocol) : protocol_(protocol) {}
  bool MarkSilentPointers(std::uint32_t now) override { return protocol_.MarkSilentPointers(now); }
  LiveStatus ReadLiveStatus() override { return protocol_.ReadLiveStatus(); }
  void ReleaseCursor() override { protocol_.ReleaseCursor(); }
  void HoldCursor() override { protocol_.HoldCursor(); }

 private:
  PointerProtocol& protocol_;
};

class EngineStatistics final : public StatisticsSource {
 public:
  explicit EngineStatistics(ThreadedServer& server) : server_(server) {}
  void GetStatistics(ServerStats& stats) override { server_.GetStatistics(stats); }

 private:
  ThreadedServer& server_;
};
