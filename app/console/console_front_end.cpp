#include "app/console/console_front_end.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/application.h"
#include "app/console/console_commands.h"
#include "app/console/console_line_reader.h"
#include "app/console/console_view.h"
#include "app/main_dialog.h"
#include "app/server_session.h"
#include "app/welcome.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/console_text.h"

namespace {

std::atomic<bool> interrupted{false};
std::atomic<bool> sessionEnding{false};

void OnSessionEnd() {
  sessionEnding = true;
}

void OnInterrupt() {
  interrupted = true;
}

// What the reader took from stdin: a line, one too long to be a command,
// or the end of input.
struct ReadLine {
  ConsoleLine kind = ConsoleLine::kEnd;
  std::string text;
};

// Lines from stdin, read on a thread of their own so that the dialog's
// thread keeps its timer while nobody types.
class LineQueue {
 public:
  void Push(ReadLine line) {
    {
      std::lock_guard guard(lock_);
      lines_.push_back(std::move(line));
    }
    ready_.notify_one();
  }

  // Waits up to timeoutMs for a line; false when none came.
  bool Pop(ReadLine& line, unsigned timeoutMs) {
    std::unique_lock guard(lock_);
    ready_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                    [this] { return !lines_.empty(); });
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable ready_;
  std::deque<ReadLine> lines_;
};

// False when the system gives no thread for it (a task limit, say): the
// program then runs on without commands, as after the end of input.
bool StartStdinReader(const std::shared_ptr<LineQueue>& queue) {
  // Detached: at exit it may still be blocked in a read. End of input leaves
  // the program running.
  try {
    std::thread([queue] {
      std::istream& input = platform::StandardInputUtf8();
      ReadLine line;
      do {
        line.kind = ReadConsoleLine(input, line.text);
        queue->Push(line);
      } while (line.kind != ConsoleLine::kEnd);
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void RunLine(const ReadLine& line, MainDialog& dialog, ConsoleView& view) {
  switch (line.kind) {
    case ConsoleLine::kLine:
      RunConsoleCommand(line.text, dialog, view);
      return;
    case ConsoleLine::kTooLong:
      view.ShowMessageBox("line too long", "");
      return;
    case ConsoleLine::kEnd:
      // Started with no one to type (from a service, say): it serves on.
      view.ShowNotice(
          "End of input: no more commands are read; the server runs on until Ctrl+C or the end "
          "of the session.");
      return;
  }
}

}  // namespace

int RunConsoleFrontEnd(Application& app) {
  const platform::Utf8ConsoleOutput utf8Output;
  platform::OnInterrupt(OnInterrupt);
  platform::OnSessionEnd(OnSessionEnd);
  ConsoleView view(stdout);
  SystemMouseAndKeys mouse;
  ServerSession session(app, mouse);
  MainDialog dialog(session, view, mouse);
  view.HoldNotices();
  if (!dialog.OnInitDialog()) {
    view.ReleaseNotices();
    dialog.OnDestroy();
    return 1;
  }
  PrintWelcome(app, true);
  view.ReleaseNotices();
  return RunConsoleCommands(dialog, view);
}

int RunConsoleCommands(MainDialog& dialog, ConsoleView& view) {
  platform::OnInterrupt(OnInterrupt);
  platform::OnSessionEnd(OnSessionEnd);
  auto queue = std::make_shared<LineQueue>();
  if (!StartStdinReader(queue)) {
    view.ShowNotice(
        "Commands cannot be read: the system gives no thread to read them. "
        "Ctrl+C ends the program.");
  }
  std::uint32_t lastTick = platform::TickCount();
  while (!interrupted && !sessionEnding && !view.HasEnded()) {
    if (ReadLine line; queue->Pop(line, 20)) {
      RunLine(line, dialog, view);
      std::fflush(stdout);
    }
    const unsigned period = view.TimerPeriodMs();
    const std::uint32_t now = platform::TickCount();
    if (period != 0 && now - lastTick >= period) {
      lastTick = now;
      dialog.Tick();
    }
  }
  if (sessionEnding) {
    dialog.OnEndSession();
  } else if (interrupted) {
    dialog.OnCancel();
  }
  dialog.OnDestroy();
  std::fflush(stdout);
  return 0;
}
