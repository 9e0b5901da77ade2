// Thread message queues and the waits that service them.
#include "platform/messages.h"

#include "platform/kernel.h"
#include "platform/process.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

namespace rzd {
namespace {

constexpr uint32_t kLong = 30000;
constexpr uint32_t kShort = 100;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Each test starts and ends with an empty queue on the test's thread.
class MessagesTest : public test::TempRoot {
 protected:
  void SetUp() override { Drain(); }
  void TearDown() override { Drain(); }
  static void Drain() {
    EnsureMessageQueue();
    while (PeekThreadMessage()) {
    }
  }
};
using MessageQueueTest = MessagesTest;
using MsgWaitTest = MessagesTest;
using WaitPumpingTest = MessagesTest;

// Runs `body` on a thread that has a message queue and hands its id back once the queue exists.
class QueueThread {
 public:
  explicit QueueThread(std::function<void(Event)> body) {
    Event ready = Event::Unnamed(true, false);
    Event stop = stop_;
    thread_ = std::thread([this, ready, stop, body] {
      EnsureMessageQueue();
      id_ = CurrentThreadId();
      ready.Set();
      body(stop);
    });
    ready.Wait(kLong);
  }
  ~QueueThread() {
    stop_.Set();
    thread_.join();
  }
  uint32_t Id() const { return id_; }
  void Stop() { stop_.Set(); }

 private:
  Event stop_ = Event::Unnamed(true, false);
  std::atomic<uint32_t> id_{0};
  std::thread thread_;
};

TEST_F(MessageQueueTest, PeekTakesMessagesInOrder) {
  EnsureMessageQueue();
  EXPECT_FALSE(PeekThreadMessage().has_value());
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(PostThreadMessage(CurrentThreadId(), WM_USER + i, 10 + i, -static_cast<int64_t>(i)), ERROR_SUCCESS);
  }
  auto peeked = PeekThreadMessage(false);
  ASSERT_TRUE(peeked);
  EXPECT_EQ(peeked->id, WM_USER);
  for (uint32_t i = 0; i < 3; ++i) {
    auto m = PeekThreadMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->id, WM_USER + i);
    EXPECT_EQ(m->wparam, 10u + i);
    EXPECT_EQ(m->lparam, -static_cast<int64_t>(i));
  }
  EXPECT_FALSE(PeekThreadMessage().has_value());
}

TEST_F(MessageQueueTest, PostNeedsAThreadWithAQueue) {
  std::atomic<uint32_t> id{0};
  Event posted = Event::Unnamed(true, false);
  Event checked = Event::Unnamed(true, false);
  std::atomic<uint32_t> firstPostSeen{0};
  std::thread t([&] {
    id = CurrentThreadId();
    posted.Wait(kLong);  // the first post happens before this thread has a queue
    EnsureMessageQueue();
    checked.Set();
    if (auto m = PeekThreadMessage()) firstPostSeen = m->id;
  });
  while (id == 0) std::this_thread::yield();
  EXPECT_EQ(PostThreadMessage(id, WM_USER), ERROR_INVALID_THREAD_ID);
  posted.Set();
  ASSERT_EQ(checked.Wait(kLong), WAIT_OBJECT_0);
  t.join();
  EXPECT_EQ(firstPostSeen.load(), 0u);  // the refused post left nothing behind
  // The queue ended with its thread.
  EXPECT_EQ(PostThreadMessage(id, WM_USER), ERROR_INVALID_THREAD_ID);
  EXPECT_EQ(PostThreadMessage(0, WM_USER), ERROR_INVALID_THREAD_ID);
}

// What a thread's end destroys last, after its queue: the message functions it calls then (as the
// main thread does from static destructors and library unloads at the end of the process) find
// no queue, hand nothing out and make no new one.
struct AfterQueueEnd {
  std::atomic<uint32_t>* waitResult = nullptr;
  std::atomic<uint32_t>* waitNoObjects = nullptr;
  std::atomic<bool>* peeked = nullptr;
  ~AfterQueueEnd() {
    if (waitResult == nullptr) return;
    Event set = Event::Unnamed(true, true);
    *waitResult = WaitPumping({set}, kShort);
    *waitNoObjects = WaitPumping({}, 1);
    PostQuitMessage(3);
    SetThreadMessageHandler([](const ThreadMessage&) {});
    *peeked = PeekThreadMessage().has_value();
  }
};

TEST_F(MessageQueueTest, AThreadPastItsEndHasNoQueue) {
  std::atomic<uint32_t> waitResult{0xDEAD};
  std::atomic<uint32_t> waitNoObjects{0xDEAD};
  std::atomic<bool> peeked{true};
  std::atomic<uint32_t> id{0};
  std::thread t([&] {
    // Made before the queue, so destroyed after it when the thread ends.
    thread_local AfterQueueEnd after;
    after.waitResult = &waitResult;
    after.waitNoObjects = &waitNoObjects;
    after.peeked = &peeked;
    EnsureMessageQueue();
    id = CurrentThreadId();
    PostThreadMessage(id, WM_USER);  // left in the queue the thread's end takes away
  });
  t.join();
  EXPECT_EQ(waitResult.load(), WAIT_OBJECT_0);
  EXPECT_EQ(waitNoObjects.load(), WAIT_TIMEOUT);
  EXPECT_FALSE(peeked.load());
  EXPECT_EQ(PostThreadMessage(id, WM_USER), ERROR_INVALID_THREAD_ID);
}

TEST_F(MessageQueueTest, FullQueueRefusesPosts) {
  EnsureMessageQueue();
  for (size_t i = 0; i < kMaxQueuedMessages; ++i) {
    ASSERT_EQ(PostThreadMessage(CurrentThreadId(), WM_USER), ERROR_SUCCESS);
  }
  EXPECT_EQ(PostThreadMessage(CurrentThreadId(), WM_USER), ERROR_NOT_ENOUGH_QUOTA);
  ASSERT_TRUE(PeekThreadMessage());
  EXPECT_EQ(PostThreadMessage(CurrentThreadId(), WM_USER), ERROR_SUCCESS);
}

TEST_F(MessageQueueTest, QuitComesAfterEveryOtherMessage) {
  PostQuitMessage(5);
  ASSERT_EQ(PostThreadMessage(CurrentThreadId(), WM_APP), ERROR_SUCCESS);
  auto first = PeekThreadMessage();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->id, WM_APP);
  auto second = PeekThreadMessage();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->id, WM_QUIT);
  EXPECT_EQ(second->wparam, 5u);
  EXPECT_FALSE(PeekThreadMessage().has_value());
}

TEST_F(MsgWaitTest, ReportsObjectsBeforeMessages) {
  EnsureMessageQueue();
  Event ev = Event::Unnamed(true, false);
  EXPECT_EQ(MsgWaitForObjects({ev}, kShort), WAIT_TIMEOUT);
  PostThreadMessage(CurrentThreadId(), WM_USER);
  EXPECT_EQ(MsgWaitForObjects({ev}, kLong), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(MsgWaitForObjects({}, kLong), WAIT_OBJECT_0);  // no objects: index 0 is the queue
  ev.Set();
  EXPECT_EQ(MsgWaitForObjects({ev}, kLong), WAIT_OBJECT_0);
  ASSERT_TRUE(PeekThreadMessage());  // the message was left in the queue
}

TEST_F(MsgWaitTest, WokenByAMessageFromAnotherThread) {
  EnsureMessageQueue();
  Event never = Event::Unnamed(true, false);
  uint32_t me = CurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostThreadMessage(me, WM_USER + 7);
  });
  EXPECT_EQ(MsgWaitForObjects({never}, kLong), WAIT_OBJECT_0 + 1);
  poster.join();
  auto m = PeekThreadMessage();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->id, WM_USER + 7);
}

// The message-pumping wait must still time out on schedule while messages keep coming.
struct StreamCase {
  const char* label;
  bool named;  // wait on a named semaphore (held elsewhere) or an unnamed event
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.label; }

class PumpingStreamTest : public MessagesTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(PumpingStreamTest, TimesOutOnScheduleUnderASteadyStream) {
  EnsureMessageQueue();
  WaitHandle object = GetParam().named ? WaitHandle(Semaphore::Create("Global\\Busy", 0, 1).handle)
                                       : WaitHandle(Event::Unnamed(false, false));
  const uint32_t me = CurrentThreadId();
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
  std::thread poster([&] {
    while (!stop) {
      if (PostThreadMessage(me, WM_USER, static_cast<uint64_t>(posted.load())) == ERROR_SUCCESS) ++posted;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int handled = 0;
  uint64_t lastSeen = 0;
  bool inOrder = true;
  constexpr uint32_t kTimeout = 300;
  auto start = Clock::now();
  uint32_t result = WaitPumping({object}, kTimeout, [&](const ThreadMessage& m) {
    if (handled > 0 && m.wparam <= lastSeen) inOrder = false;
    lastSeen = m.wparam;
    ++handled;
  });
  int64_t elapsed = MsSince(start);
  stop = true;
  poster.join();
  EXPECT_EQ(result, WAIT_TIMEOUT);
  EXPECT_GE(elapsed, kTimeout);
  EXPECT_LT(elapsed, 10000) << "the deadline was not kept";
  EXPECT_GT(handled, 0);
  EXPECT_TRUE(inOrder);
}

INSTANTIATE_TEST_SUITE_P(Objects, PumpingStreamTest,
                         ::testing::Values(StreamCase{"Unnamed", false}, StreamCase{"Named", true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(WaitPumpingTest, ReturnsAtOnceWhenSignalled) {
  Event ev = Event::Unnamed(true, true);
  PostThreadMessage(CurrentThreadId(), WM_USER);
  auto start = Clock::now();
  EXPECT_EQ(WaitPumping({ev}, kLong), WAIT_OBJECT_0);
  EXPECT_LT(MsSince(start), kLong / 3);
}

TEST_F(WaitPumpingTest, SignalDuringAStreamEndsTheWaitAndMessagesReachTheHandler) {
  EnsureMessageQueue();
  Semaphore sem = Semaphore::Unnamed(0, 1);
  const uint32_t me = CurrentThreadId();
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    for (int i = 0; !stop; ++i) {
      PostThreadMessage(me, WM_USER);
      if (i == 50) sem.Release();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int handled = 0;
  SetThreadMessageHandler([&](const ThreadMessage&) { ++handled; });
  auto start = Clock::now();
  uint32_t result = WaitPumping({sem}, kLong);
  int64_t elapsed = MsSince(start);
  stop = true;
  poster.join();
  SetThreadMessageHandler(nullptr);
  EXPECT_EQ(result, WAIT_OBJECT_0);
  EXPECT_LT(elapsed, kLong / 3);
  EXPECT_GT(handled, 0);
}

TEST_F(WaitPumpingTest, QuitMetOnTheWayIsPostedAgain) {
  EnsureMessageQueue();
  Event never = Event::Unnamed(true, false);
  PostThreadMessage(CurrentThreadId(), WM_USER + 1);
  PostQuitMessage(9);
  std::vector<uint32_t> seen;
  EXPECT_EQ(WaitPumping({never}, kShort, [&](const ThreadMessage& m) { seen.push_back(m.id); }), WAIT_TIMEOUT);
  EXPECT_EQ(seen, std::vector<uint32_t>{WM_USER + 1});
  auto quit = PeekThreadMessage();
  ASSERT_TRUE(quit);
  EXPECT_EQ(quit->id, WM_QUIT);
  EXPECT_EQ(quit->wparam, 9u);
}

TEST_F(WaitPumpingTest, ServicesAnotherThreadsQueueIndependently) {
  // A worker thread pumps while this thread posts to it; its wait ends with its stop event.
  std::atomic<int> handled{0};
  std::atomic<uint32_t> result{0xDEAD};
  {
    QueueThread worker([&](Event stop) {
      result = WaitPumping({stop}, kLong, [&](const ThreadMessage&) { ++handled; });
    });
    for (int i = 0; i < 20; ++i) ASSERT_EQ(PostThreadMessage(worker.Id(), WM_USER), ERROR_SUCCESS);
    auto end = Clock::now() + std::chrono::milliseconds(kLong);
    while (handled < 20 && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(handled.load(), 20);
  }  // stops and joins the worker
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace rzd

namespace rzd {
namespace {

TEST_F(MessageQueueTest, DispatchHandsATakenMessageToTheThreadHandler) {
  DispatchThreadMessage({WM_USER + 3, 1, 2});  // no handler: nothing happens
  std::vector<ThreadMessage> seen;
  SetThreadMessageHandler([&](const ThreadMessage& message) { seen.push_back(message); });
  PostThreadMessage(CurrentThreadId(), WM_USER + 4, 5, -6);
  auto message = PeekThreadMessage(true);
  ASSERT_TRUE(message);
  DispatchThreadMessage(*message);
  SetThreadMessageHandler(nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].id, WM_USER + 4);
  EXPECT_EQ(seen[0].wparam, 5u);
  EXPECT_EQ(seen[0].lparam, -6);
}

}  // namespace
}  // namespace rzd
