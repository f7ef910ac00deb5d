// A connection that is opened off the caller's thread, for callers that must
// not wait on it (the dialog's thread): opening one to an unreachable server
// can block for minutes. At most one attempt runs at a time; after a failed
// attempt, or once the caller drops a broken connection, the next attempt
// starts no sooner than a pause after the previous one began. An attempt
// whose thread cannot start (a task limit, say) counts as a failed one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {

// Attempts of every BackgroundConnection still inside the system's library:
// at exit that library must not be torn down under them (EndProcess).
inline std::atomic<int> backgroundAttemptsRunning{0};

template <typename Connection>
class BackgroundConnection {
 public:
  using Opener = std::function<std::unique_ptr<Connection>()>;  // null: failed
  using Clock = std::function<std::uint64_t()>;                 // milliseconds
  // Runs the attempt on a new thread; throws std::system_error as std::thread
  // does when the system gives no thread.
  using Starter = std::function<std::thread(std::function<void()>)>;

  BackgroundConnection(Opener open, Clock nowMs, std::uint64_t pauseMs, Starter start = StartThread)
      : open_(std::move(open)),
        nowMs_(std::move(nowMs)),
        pauseMs_(pauseMs),
        start_(std::move(start)) {}

  // An attempt may still wait on the system; it then finishes on its own and
  // its result goes with the shared mailbox.
  ~BackgroundConnection() {
    if (!attempt_.joinable()) return;
    if (AttemptRunning()) {
      attempt_.detach();
    } else {
      attempt_.join();
    }
  }

  BackgroundConnection(const BackgroundConnection&) = delete;
  BackgroundConnection& operator=(const BackgroundConnection&) = delete;

  // The connection once an attempt has made one; null until then. Never waits
  // for an attempt; starts one when none runs and the pause is over.
  Connection* Get() {
    if (connection_ != nullptr) return connection_.get();
    {
      std::lock_guard guard(mailbox_->lock);
      if (mailbox_->running) return nullptr;
      connection_ = std::move(mailbox_->result);
    }
    if (connection_ != nullptr) return connection_.get();
    StartAttemptWhenDue();
    return nullptr;
  }

  // The connection broke: close it; a new one comes after the pause.
  void Drop() { connection_.reset(); }

  bool AttemptRunning() const {
    std::lock_guard guard(mailbox_->lock);
    return mailbox_->running;
  }

 private:
  struct Mailbox {
    mutable std::mutex lock;
    bool running = false;
    std::unique_ptr<Connection> result;
  };

  void StartAttemptWhenDue() {
    const std::uint64_t now = nowMs_();
    if (attempted_ && now - lastAttemptMs_ < pauseMs_) return;
    attempted_ = true;
    lastAttemptMs_ = now;
    if (attempt_.joinable()) attempt_.join();  // it has finished: nothing is running
    {
      std::lock_guard guard(mailbox_->lock);
      mailbox_->running = true;
    }
    ++backgroundAttemptsRunning;
    try {
      attempt_ = start_([mailbox = mailbox_, open = open_] {
        std::unique_ptr<Connection> connection = open();
        {
          std::lock_guard guard(mailbox->lock);
          mailbox->result = std::move(connection);
          mailbox->running = false;
        }
        --backgroundAttemptsRunning;
      });
    } catch (const std::system_error&) {
      --backgroundAttemptsRunning;
      std::lock_guard guard(mailbox_->lock);
      mailbox_->running = false;
    }
  }

  static std::thread StartThread(std::function<void()> body) {
    return std::thread(std::move(body));
  }

  Opener open_;
  Clock nowMs_;
  std::uint64_t pauseMs_;
  Starter start_;
  std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
  std::thread attempt_;
  std::unique_ptr<Connection> connection_;  // handed over, used on the caller's thread
  bool attempted_ = false;
  std::uint64_t lastAttemptMs_ = 0;
};

}  // namespace platform
