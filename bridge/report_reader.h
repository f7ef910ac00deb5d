// The one reader of the area: takes every report through the kit and hands
// it, in order, to every output; puts the outputs' commands for the phones.
// Follows the server through restarts and tells the outputs.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "bridge/commands.h"
#include "bridge/output.h"

namespace bridge {

struct ReaderTiming {
  int waitMs = 10;        // longest wait for reports before the commands are put
  int openRetryMs = 500;  // how often it looks for a server while none runs
};

class ReportReader {
 public:
  // say prints one line for the person who started the bridge.
  ReportReader(std::string folder, std::vector<Output*> outputs, CommandQueue& commands,
               std::function<void(const std::string&)> say, ReaderTiming timing = {});
  ~ReportReader();
  ReportReader(const ReportReader&) = delete;
  ReportReader& operator=(const ReportReader&) = delete;

  // Reads until stop is set; without a server it waits for one.
  void Run(const std::atomic<bool>& stop);

 private:
  bool Open(bool firstTry);
  void PutCommands();
  void ReadAll();
  void Tell(bool running);

  std::string folder_;
  std::vector<Output*> outputs_;
  CommandQueue& commands_;
  std::function<void(const std::string&)> say_;
  ReaderTiming timing_;
  tvxhdv* handle_ = nullptr;
};

}  // namespace bridge
