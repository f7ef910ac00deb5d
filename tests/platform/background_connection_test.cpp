#include "platform/posix/background_connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>

namespace {

struct FakeConnection {
  int number = 0;
};

// Each attempt waits until the test says how it ends.
class BackgroundConnectionTest : public testing::Test {
 protected:
  std::unique_ptr<FakeConnection> Open() {
    const int number = ++attempts;
    const bool succeeds = outcomes[number - 1].get_future().get();
    return succeeds ? std::make_unique<FakeConnection>(FakeConnection{number}) : nullptr;
  }

  template <typename Connection>
  void WaitUntilIdle(Connection& waited) {
    for (int i = 0; i < 10000 && waited.AttemptRunning(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(waited.AttemptRunning());
  }
  void WaitUntilIdle() { WaitUntilIdle(connection); }

  std::atomic<int> attempts{0};
  std::promise<bool> outcomes[3];
  std::uint64_t now = 100000;
  platform::BackgroundConnection<FakeConnection> connection{[this] { return Open(); },
                                                            [this] { return now; }, 3000};
};

TEST_F(BackgroundConnectionTest, NeverWaitsAndRunsOneAttemptAtATime) {
  EXPECT_EQ(connection.Get(), nullptr);  // the attempt blocks; the caller does not
  now += 10000;
  EXPECT_EQ(connection.Get(), nullptr);
  EXPECT_TRUE(connection.AttemptRunning());
  outcomes[0].set_value(false);
  WaitUntilIdle();
  EXPECT_EQ(attempts, 1);

  // The failed attempt began 10 s ago: the next one starts at once.
  EXPECT_EQ(connection.Get(), nullptr);
  outcomes[1].set_value(true);
  WaitUntilIdle();
  ASSERT_NE(connection.Get(), nullptr);
  EXPECT_EQ(connection.Get()->number, 2);
}

TEST_F(BackgroundConnectionTest, RetriesOnlyAfterThePause) {
  outcomes[0].set_value(false);
  EXPECT_EQ(connection.Get(), nullptr);
  WaitUntilIdle();
  now += 2999;
  EXPECT_EQ(connection.Get(), nullptr);
  EXPECT_FALSE(connection.AttemptRunning());
  EXPECT_EQ(attempts, 1);

  now += 1;
  outcomes[1].set_value(true);
  EXPECT_EQ(connection.Get(), nullptr);
  WaitUntilIdle();
  ASSERT_NE(connection.Get(), nullptr);

  connection.Drop();  // broken: reconnect, but not at once
  EXPECT_EQ(connection.Get(), nullptr);
  EXPECT_FALSE(connection.AttemptRunning());
  now += 3000;
  outcomes[2].set_value(true);
  EXPECT_EQ(connection.Get(), nullptr);
  WaitUntilIdle();
  ASSERT_NE(connection.Get(), nullptr);
  EXPECT_EQ(connection.Get()->number, 3);
}

// Under a task limit no thread starts: that attempt has failed, the caller
// goes on, and the next attempt comes after the pause.
TEST_F(BackgroundConnectionTest, AThreadThatCannotStartIsAFailedAttempt) {
  int starts = 0;
  bool limited = true;
  platform::BackgroundConnection<FakeConnection> underLimit{
      [this] { return Open(); }, [this] { return now; }, 3000,
      [&](std::function<void()> body) {
        ++starts;
        if (limited) throw std::system_error(EAGAIN, std::generic_category());
        return std::thread(std::move(body));
      }};
  EXPECT_EQ(underLimit.Get(), nullptr);
  EXPECT_FALSE(underLimit.AttemptRunning());
  now += 2999;
  EXPECT_EQ(underLimit.Get(), nullptr);
  EXPECT_EQ(starts, 1);

  now += 1;
  limited = false;
  outcomes[0].set_value(true);
  EXPECT_EQ(underLimit.Get(), nullptr);
  WaitUntilIdle(underLimit);
  ASSERT_NE(underLimit.Get(), nullptr);
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(attempts, 1);
}

}  // namespace
