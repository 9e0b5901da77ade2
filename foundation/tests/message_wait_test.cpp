#include "foundation/message_wait.h"
#include "platform/messages.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace rzd {
namespace {

using Clock = std::chrono::steady_clock;

// Posts a message to `target` every 10 ms until stopped.
class Poster {
 public:
  explicit Poster(uint32_t target)
      : thread_([this, target] {
          while (!stop_) {
            PostThreadMessage(target, WM_USER + 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~Poster() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(WaitWithMessageLoop, TimesOutAtItsDeadlineWhileMessagesKeepComing) {
  EnsureMessageQueue();
  int handled = 0;
  SetThreadMessageHandler([&](const ThreadMessage& message) {
    if (message.id == WM_USER + 1) ++handled;
  });
  Event never = Event::Unnamed(true, false);
  Poster poster(CurrentThreadId());
  auto start = Clock::now();
  EXPECT_EQ(WaitWithMessageLoop(never, 1000), WAIT_TIMEOUT);
  auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(1000));
  EXPECT_LT(elapsed, std::chrono::seconds(30));  // bounded however many messages came
  EXPECT_GT(handled, 0);
  SetThreadMessageHandler(nullptr);
}

TEST(WaitWithMessageLoop, ReturnsWhenSignalledAlsoWithoutTimeLimit) {
  EnsureMessageQueue();
  Event event = Event::Unnamed(false, false);
  Poster poster(CurrentThreadId());
  std::thread setter([event] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    event.Set();
  });
  EXPECT_EQ(WaitWithMessageLoop(event, INFINITE), WAIT_OBJECT_0);
  setter.join();

  Event signalled = Event::Unnamed(true, true);
  EXPECT_EQ(WaitWithMessageLoop(signalled, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitWithMessageLoop(Event::Unnamed(true, false), 0), WAIT_TIMEOUT);
}

TEST(WaitWithMessageLoop, AnEmptyHandleFails) { EXPECT_EQ(WaitWithMessageLoop(Event(), 10), WAIT_FAILED); }

}  // namespace
}  // namespace rzd
