// For tests that run the real programs: where they were built, copying them
// into a test's folder, waiting for what they do, and pointer reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/socket.h"

// The folder of the running test program, where the build put the programs too.
std::string BinFolder();

// Keeps the file's permissions: a program must stay executable.
void CopyWholeFile(const std::string& from, const std::string& to);

// Polls until predicate holds, for at most timeoutMs.
template <typename Predicate>
bool WaitFor(Predicate predicate, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (predicate()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return predicate();
}

// The path of one pointer report (layout 1, screen 0, acknowledgement mode 2).
std::string ReportPath(int pointer, int frame, int x, int y, bool buttonL, bool buttonR,
                       int echoedPacket);

// Sends GET path on a connection of its own; the reply's body, or a text in
// angle brackets when there was no connection.
std::string FetchBody(std::uint16_t port, const std::string& path);

// Copies TVXHandvane (program's file name) and its page from BinFolder() to
// program, keeps its profile under testFolder, and writes its INI: no log,
// the rendezvous file in testFolder, a free port; returns that port, 0 when
// something failed.
int PlaceProgramCopy(const std::string& program, const std::string& testFolder);

// A program's output file so far, without the CRs of Windows line ends.
std::string ProgramOutput(const std::string& file);

// Another program listening on port, for as long as this lives.
class BusyPort {
 public:
  explicit BusyPort(std::uint16_t port);
  ~BusyPort();
  BusyPort(const BusyPort&) = delete;
  BusyPort& operator=(const BusyPort&) = delete;
  bool Listening() const { return listening_; }

 private:
  platform::Socket socket_;
  bool started_ = false;
  bool listening_ = false;
};
