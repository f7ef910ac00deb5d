// The one reader of the area: takes every report through the kit and hands
// it, in order, to every output; puts the outputs' commands for the phones.
// Follows the server through restarts and tells the outputs.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bridge/commands.h"
#include "bridge/output.h"

namespace bridge {

struct ReaderTiming {
  int waitMs = 10;        // longest wait for reports before the commands are put
  int openRetryMs = 500;  // how often it looks for a server while none runs
  // Least time between two passes of reports to the outputs. While 80 phones
  // report, each wake-up and each datagram or frame written costs far more
  // than the reports it carries: gathering 1.25 ms' worth into one pass
  // cuts the bridge's share of a core several times over, for about 0.7 ms
  // of delay on average. 0 passes every report on as it comes.
  std::chrono::microseconds passInterval{0};
};

class ReportReader {
 public:
  // say prints one line for the person who started the bridge. serveSockets,
  // when given, does the outputs' socket work that is ready without waiting;
  // it is called after every pass and at least every timing.waitMs.
  ReportReader(std::string folder, std::vector<Output*> outputs, CommandQueue& commands,
               std::function<void(const std::string&)> say, ReaderTiming timing = {},
               std::function<void()> serveSockets = {});
  ~ReportReader();
  ReportReader(const ReportReader&) = delete;
  ReportReader& operator=(const ReportReader&) = delete;

  // Reads until stop is set; without a server it waits for one.
  void Run(const std::atomic<bool>& stop);

 private:
  bool Open(bool firstTry);
  void PutCommands();
  // Passes on what the area holds; false when it held nothing.
  bool ReadAll();
  // Tells the outputs who joined or left since the last look; the kit then
  // holds back the reports of a phone until its join was told.
  void TakePresence();
  // The name the server keeps for pointer, empty when none.
  std::string NameOf(unsigned pointer);
  // Drops the commands for pointer that the bridge and the area still hold.
  void Tell(bool running);
  void ServeSockets();

  std::string folder_;
  std::vector<Output*> outputs_;
  CommandQueue& commands_;
  std::function<void(const std::string&)> say_;
  ReaderTiming timing_;
  std::function<void()> serveSockets_;
  tvxhdv* handle_ = nullptr;
  Clock::time_point nextPass_{};
  std::vector<unsigned> present_;  // sorted
};

}  // namespace bridge
