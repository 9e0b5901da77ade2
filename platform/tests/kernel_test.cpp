// Unnamed kernel objects, waits on several objects, threads and critical sections.
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

// Generous for what must happen, modest for what must not: tests run in parallel under ASan.
constexpr uint32_t kLong = 30000;
constexpr uint32_t kShort = 100;

using Clock = std::chrono::steady_clock;

// Polls `condition` until it holds or kLong passes.
template <typename F>
bool Eventually(F condition) {
  auto end = Clock::now() + std::chrono::milliseconds(kLong);
  while (Clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return condition();
}

// ---- Events

struct EventCase {
  const char* label;
  bool manualReset;
  bool initialState;
  std::vector<uint32_t> zeroWaits;  // results of successive Wait(0)
};
void PrintTo(const EventCase& c, std::ostream* os) { *os << c.label; }

class EventStateTest : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventStateTest, InitialStateAndReset) {
  const EventCase& c = GetParam();
  Event ev = Event::Unnamed(c.manualReset, c.initialState);
  ASSERT_TRUE(ev);
  for (uint32_t expected : c.zeroWaits) EXPECT_EQ(ev.Wait(0), expected);
  // Set then Reset leaves it unsignalled whatever the mode.
  EXPECT_EQ(ev.Set(), ERROR_SUCCESS);
  EXPECT_EQ(ev.Reset(), ERROR_SUCCESS);
  EXPECT_EQ(ev.Wait(0), WAIT_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EventStateTest,
    ::testing::Values(EventCase{"ManualSignalled", true, true, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0}},
                      EventCase{"ManualUnsignalled", true, false, {WAIT_TIMEOUT}},
                      EventCase{"AutoSignalled", false, true, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
                      EventCase{"AutoUnsignalled", false, false, {WAIT_TIMEOUT}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(EventTest, AutoResetReleasesOneWaiterPerSet) {
  Event ev = Event::Unnamed(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (ev.Wait(kLong) == WAIT_OBJECT_0) ++released;
    });
  }
  for (int round = 1; round <= 3; ++round) {
    ASSERT_EQ(ev.Set(), ERROR_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return released.load() >= round; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(kShort));
    EXPECT_EQ(released.load(), round) << "one Set released more than one waiter";
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(ev.Wait(0), WAIT_TIMEOUT);  // the last waiter reset it
}

TEST(EventTest, ManualResetReleasesEveryWaiterAndStaysSet) {
  Event ev = Event::Unnamed(true, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (ev.Wait(kLong) == WAIT_OBJECT_0) ++released;
    });
  }
  ev.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
  EXPECT_EQ(ev.Wait(0), WAIT_OBJECT_0);
}

TEST(EventTest, EmptyHandleFails) {
  Event none;
  EXPECT_EQ(none.Set(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(none.Wait(0), WAIT_FAILED);
}

// ---- Semaphores

TEST(SemaphoreTest, CountsDownAndReportsPreviousCount) {
  Semaphore sem = Semaphore::Unnamed(2, 3);
  ASSERT_TRUE(sem);
  EXPECT_EQ(sem.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(sem.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(sem.Wait(0), WAIT_TIMEOUT);
  int32_t previous = -1;
  EXPECT_EQ(sem.Release(2, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(sem.Release(1, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 2);
}

TEST(SemaphoreTest, ReleasePastMaximumFailsAndChangesNothing) {
  Semaphore sem = Semaphore::Unnamed(1, 2);
  int32_t previous = -1;
  EXPECT_EQ(sem.Release(2, &previous), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(previous, -1);
  EXPECT_EQ(sem.Release(1, &previous), ERROR_SUCCESS);  // the failed release added nothing
  EXPECT_EQ(previous, 1);
  EXPECT_EQ(sem.Release(1), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(sem.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(sem.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(sem.Wait(0), WAIT_TIMEOUT);
  EXPECT_EQ(sem.Release(0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sem.Release(-1), ERROR_INVALID_PARAMETER);
}

TEST(SemaphoreTest, InvalidCountsMakeNoSemaphore) {
  struct Counts {
    int32_t initial, maximum;
  };
  for (Counts c : {Counts{2, 1}, Counts{-1, 1}, Counts{0, 0}, Counts{0, -3}}) {
    EXPECT_FALSE(Semaphore::Unnamed(c.initial, c.maximum)) << c.initial << "/" << c.maximum;
  }
}

TEST(SemaphoreTest, WaitingThreadIsReleasedByAnother) {
  Semaphore sem = Semaphore::Unnamed(0, 1);
  std::atomic<uint32_t> result{0xDEAD};
  std::thread waiter([&] { result = sem.Wait(kLong); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(sem.Release(), ERROR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

// ---- Mutexes

TEST(MutexTest, OwnerAcquiresRecursivelyAndOthersWaitForFullRelease) {
  Mutex m = Mutex::Unnamed(true);
  EXPECT_EQ(m.Wait(0), WAIT_OBJECT_0);  // owner again: level 2
  auto otherTake = [&](uint32_t timeout) {
    uint32_t r = 0;
    std::thread([&] {
      r = m.Wait(timeout);
      if (r == WAIT_OBJECT_0) m.Release();
    }).join();
    return r;
  };
  EXPECT_EQ(otherTake(0), WAIT_TIMEOUT);
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
  EXPECT_EQ(otherTake(0), WAIT_TIMEOUT);  // still owned at level 1
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
  EXPECT_EQ(otherTake(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(m.Release(), ERROR_NOT_OWNER);  // not owned any more
}

TEST(MutexTest, ReleaseByAnotherThreadIsRefused) {
  Mutex m = Mutex::Unnamed(true);
  uint32_t r = 0;
  std::thread([&] { r = m.Release(); }).join();
  EXPECT_EQ(r, ERROR_NOT_OWNER);
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
}

TEST(MutexTest, OwnerThreadEndingAbandonsIt) {
  Mutex m = Mutex::Unnamed(false);
  std::thread([&] { ASSERT_EQ(m.Wait(0), WAIT_OBJECT_0); }).join();  // ends without releasing
  EXPECT_EQ(m.Wait(kLong), WAIT_ABANDONED_0);
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
  EXPECT_EQ(m.Wait(0), WAIT_OBJECT_0);  // told once only
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
}

TEST(MutexTest, WaiterNoticesOwnerEndingWhileItWaits) {
  Mutex m = Mutex::Unnamed(false);
  Event owned = Event::Unnamed(true, false);
  Event finish = Event::Unnamed(true, false);
  std::thread owner([&] {
    m.Wait(0);
    owned.Set();
    finish.Wait(kLong);
  });
  ASSERT_EQ(owned.Wait(kLong), WAIT_OBJECT_0);
  std::atomic<uint32_t> result{0xDEAD};
  std::thread waiter([&] {
    result = m.Wait(kLong);
    if (result == WAIT_ABANDONED_0) m.Release();
  });
  finish.Set();
  owner.join();
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_ABANDONED_0);
}

// ---- Waits on several objects

TEST(MultiWaitTest, AnyReturnsLowestSignalledIndexAndTakesOnlyIt) {
  Event a = Event::Unnamed(false, false);
  Semaphore b = Semaphore::Unnamed(1, 1);
  Event c = Event::Unnamed(false, true);
  EXPECT_EQ(WaitAny({a, b, c}, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(c.Wait(0), WAIT_OBJECT_0);  // c was not taken by the first wait
  EXPECT_EQ(WaitAny({a, b, c}, kShort), WAIT_TIMEOUT);
}

TEST(MultiWaitTest, AnyIsWokenByAnotherThread) {
  Event a = Event::Unnamed(true, false);
  Event b = Event::Unnamed(true, false);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    b.Set();
  });
  EXPECT_EQ(WaitAny({a, b}, kLong), WAIT_OBJECT_0 + 1);
  setter.join();
}

TEST(MultiWaitTest, AllTakesNothingUntilEverythingIsSignalled) {
  Semaphore sem = Semaphore::Unnamed(1, 1);
  Event ev = Event::Unnamed(false, false);
  Mutex mutex = Mutex::Unnamed(false);
  EXPECT_EQ(WaitAll({sem, ev, mutex}, kShort), WAIT_TIMEOUT);
  int32_t previous = -1;
  EXPECT_EQ(sem.Release(1, &previous), ERROR_TOO_MANY_POSTS);  // still 1: not taken
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ev.Set();
  });
  EXPECT_EQ(WaitAll({sem, ev, mutex}, kLong), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(sem.Wait(0), WAIT_TIMEOUT);
  EXPECT_EQ(ev.Wait(0), WAIT_TIMEOUT);
  EXPECT_EQ(mutex.Release(), ERROR_SUCCESS);  // the waiter became the owner
}

TEST(MultiWaitTest, BadArgumentsFail) {
  Event a = Event::Unnamed(true, true);
  std::vector<WaitHandle> tooMany(kMaximumWaitObjects + 1, a);
  struct Case {
    const char* label;
    std::vector<WaitHandle> objects;
    bool all;
  };
  for (const Case& c : {Case{"empty any", {}, false}, Case{"empty all", {}, true},
                        Case{"empty handle", {a, WaitHandle()}, false}, Case{"same object twice in all", {a, a}, true},
                        Case{"too many", tooMany, false}}) {
    EXPECT_EQ(c.all ? WaitAll(c.objects, 0) : WaitAny(c.objects, 0), WAIT_FAILED) << c.label;
  }
  EXPECT_EQ(WaitAny({a, a}, 0), WAIT_OBJECT_0);  // the same object twice is fine for any
}

// ---- Threads

TEST(ThreadTest, ExitCodeIdAndJoin) {
  Event go = Event::Unnamed(true, false);
  std::atomic<uint32_t> seenId{0};
  Thread t = Thread::Start([&]() -> uint32_t {
    seenId = CurrentThreadId();
    go.Wait(kLong);
    return 42;
  });
  ASSERT_TRUE(t);
  EXPECT_NE(t.Id(), 0u);
  EXPECT_NE(t.Id(), CurrentThreadId());
  EXPECT_EQ(t.Join(kShort / 2), WAIT_TIMEOUT);
  EXPECT_FALSE(t.ExitCode().has_value());
  go.Set();
  EXPECT_EQ(t.Join(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(seenId.load(), t.Id());
  ASSERT_TRUE(t.ExitCode().has_value());
  EXPECT_EQ(*t.ExitCode(), 42u);
  EXPECT_EQ(t.Wait(0), WAIT_OBJECT_0);  // stays signalled
}

TEST(ThreadTest, HandleIsWaitableBesideOtherObjects) {
  Event never = Event::Unnamed(true, false);
  Thread t = Thread::Start([] { return 7u; });
  EXPECT_EQ(WaitAny({never, t}, kLong), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(t.ExitCode().value_or(0), 7u);
}

TEST(ThreadTest, ThreadOutlivesItsDroppedHandle) {
  Event go = Event::Unnamed(true, false);
  Event done = Event::Unnamed(true, false);
  Thread::Start([go, done]() -> uint32_t {
    go.Wait(kLong);
    done.Set();
    return 0;
  });
  go.Set();
  EXPECT_EQ(done.Wait(kLong), WAIT_OBJECT_0);
}

// ---- Critical sections

TEST(CriticalSectionTest, RecursiveForOwnerExclusiveForOthers) {
  CriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  cs.Leave();
  cs.Leave();
  std::thread([&] {
    std::lock_guard lock(cs);
    otherGotIt = true;
  }).join();
  EXPECT_TRUE(otherGotIt);
}

}  // namespace
}  // namespace rzd
