#include "bridge/report_reader.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace bridge {

namespace {

// Why the bridge reads no server, as the outputs were last told.
enum class Absence { kNone, kNoServer, kBusy };

// Whether the kit refused the open because another program reads the
// reports; holder gets who that is, as the kit names it ("TVXTap (process
// 1234)"), or stays empty. The kit tells this only in its sentence.
bool RefusedFor(const std::string& why, std::string& holder) {
  if (why.rfind("Another program reads the reports", 0) != 0) return false;
  const std::size_t end = why.rfind(". Only one program");
  const std::size_t start = end == std::string::npos ? end : why.rfind("\": ", end);
  if (start != std::string::npos) holder = why.substr(start + 3, end - start - 3);
  if (holder == "a program that did not say which") holder.clear();
  return true;
}

}  // namespace

ReportReader::ReportReader(std::string folder, std::vector<Output*> outputs,
                           CommandQueue& commands, std::function<void(const std::string&)> say,
                           ReaderTiming timing, std::function<void()> serveSockets)
    : folder_(std::move(folder)),
      outputs_(std::move(outputs)),
      commands_(commands),
      say_(std::move(say)),
      timing_(timing),
      serveSockets_(std::move(serveSockets)) {}

ReportReader::~ReportReader() { tvxhdv_close(handle_); }

void ReportReader::Tell(bool running) {
  for (Output* output : outputs_) output->Server(running);
}

bool ReportReader::Open(bool firstTry) {
  // A bridge started beside a running server skips what queued before it; a
  // server found later is new, and everything it queued is fresh.
  handle_ = tvxhdv_open(folder_.c_str(), firstTry ? TVXHDV_FROM_NOW : 0);
  if (handle_ == nullptr) return false;
  // The kit tells renames only to a handle that once asked for a name.
  (void)NameOf(0);
  return true;
}

std::string ReportReader::NameOf(unsigned pointer) {
  char name[TVXHDV_NAME_MAX + 1];
  const int length = tvxhdv_name(handle_, pointer, name, sizeof name);
  return length > 0 && length < static_cast<int>(sizeof name) ? std::string(name, length)
                                                               : std::string();
}

void ReportReader::ServeSockets() {
  if (serveSockets_) serveSockets_();
}

void ReportReader::PutCommands() {
  // The queue already let go of what a cancel took back from it.
  for (PhoneCommand& command : commands_.TakeAll()) {
    // Without a server nothing waits in an area that a cancel could clear.
    if (command.cancel && handle_ == nullptr) continue;
    const int result = handle_ == nullptr
                           ? TVXHDV_NO_SERVER
                           : PutCommand(handle_, command);
    if (result == TVXHDV_OK || !command.failed) continue;
    command.failed(handle_ == nullptr ? "no TVXHandvane server runs: the command was not sent"
                                      : tvxhdv_last_error());
  }
}

void ReportReader::TakePresence() {
  tvxhdv_presence_change changes[TVXHDV_POINTERS];
  int count = 0;
  do {
    count = tvxhdv_presence(handle_, changes, TVXHDV_POINTERS);
    for (int i = 0; i < count; ++i) {
      const unsigned pointer = changes[i].pointer;
      const auto at = std::lower_bound(present_.begin(), present_.end(), pointer);
      const bool listed = at != present_.end() && *at == pointer;
      if (changes[i].joined == TVXHDV_RENAMED) {
        // A phone not yet told as joined brings its name with its join.
        if (!listed) continue;
        const std::string name = NameOf(pointer);
        for (Output* output : outputs_) output->Renamed(pointer, name);
        continue;
      }
      const bool joined = changes[i].joined != 0;
      if (joined == listed) continue;
      if (joined) {
        present_.insert(at, pointer);
      } else {
        present_.erase(at);
      }
      const std::string name = joined ? NameOf(pointer) : std::string();
      for (Output* output : outputs_) output->Presence(pointer, joined, present_, name);
    }
  } while (count == TVXHDV_POINTERS);
}

bool ReportReader::ReadAll() {
  tvxhdv_report reports[256];
  int count = 0;
  bool passed = false;
  do {
    TakePresence();
    count = tvxhdv_read(handle_, reports, 256);
    if (count <= 0) break;
    const Clock::time_point arrived = Clock::now();
    for (Output* output : outputs_) output->Reports(reports, count, arrived);
    passed = true;
  } while (count == 256);
  return passed;
}

void ReportReader::Run(const std::atomic<bool>& stop) {
  bool firstTry = true;
  Absence told = Absence::kNone;
  while (handle_ == nullptr && !stop) {
    if (Open(firstTry)) {
      say_(firstTry ? "Reading the reports of the TVXHandvane server in \"" + folder_ + "\"."
                    : "A TVXHandvane server runs; reading its reports.");
      Tell(true);
      break;
    }
    firstTry = false;
    // A server another program reads runs all the same: saying it gone
    // would send the user looking for a server that is there.
    const std::string why = tvxhdv_last_error();
    std::string holder;
    const Absence absence = RefusedFor(why, holder) ? Absence::kBusy : Absence::kNoServer;
    if (absence != told) {
      told = absence;
      if (absence == Absence::kBusy) {
        say_(why + " Trying again until it ends.");
        for (Output* output : outputs_) output->Busy(holder);
      } else {
        say_(why + " Waiting for a server.");
        Tell(false);
      }
    }
    const auto retry = Clock::now() + std::chrono::milliseconds(timing_.openRetryMs);
    while (!stop && Clock::now() < retry) {
      ServeSockets();
      PutCommands();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  while (!stop) {
    if (Clock::now() < nextPass_) std::this_thread::sleep_until(nextPass_);
    // While reports come, the pass reads them at once: a wait would only
    // look at the indices that the read looks at again. A server that goes
    // or comes puts nothing more in the area read, so the wait sees it.
    bool passed = ReadAll();
    if (!passed) {
      const int event = tvxhdv_wait(handle_, timing_.waitMs);
      if (event == TVXHDV_SERVER_NEW) {
        say_("A new TVXHandvane server runs; reading its reports.");
        Tell(true);
      }
      // What a server that went left queued is still passed on, before it
      // is said gone.
      passed = ReadAll();
      if (event == TVXHDV_SERVER_GONE) {
        say_(std::string(tvxhdv_last_error()) + " Waiting for the next server.");
        Tell(false);
      }
    }
    if (passed) nextPass_ = Clock::now() + timing_.passInterval;
    ServeSockets();
    PutCommands();
  }
}

}  // namespace bridge
