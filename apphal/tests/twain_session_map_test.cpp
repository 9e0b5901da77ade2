// The session map and the source manager callback: lookups by the destination's Id, what the
// callback accepts, and sessions kept alive while a callback on another thread holds them.
#include "session_fixture.h"

#include "platform/twain.h"

#include <atomic>
#include <thread>

namespace rzd::apphal::test {
namespace {

TEST_F(SessionTest, TheCallbackReachesTheSessionOfTheDestinationId) {
  auto session = NewSession(4);
  TW_IDENTITY source = ApplicationIdentity(4);
  TW_IDENTITY application = ApplicationIdentity(4);
  EXPECT_EQ(TwainDsmEntry(&source, &application, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(session->LastMessage(), MSG_XFERREADY);
  EXPECT_EQ(session->State(), kTwainStateTransferReady);
  EXPECT_EQ(session->SessionEvent().Wait(0), WAIT_OBJECT_0);

  TW_CALLBACK invoke{};
  invoke.Message = static_cast<TW_INT16>(MSG_CLOSEDSREQ);
  EXPECT_EQ(TwainDsmEntry(&source, &application, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, &invoke),
            TWRC_SUCCESS);
  EXPECT_EQ(session->LastMessage(), MSG_CLOSEDSREQ);
  EXPECT_EQ(session->SessionEvent().Wait(0), WAIT_OBJECT_0);
}

TEST_F(SessionTest, TheCallbackRefusesWhatItCannotReadAndIgnoresUnknownIds) {
  auto session = NewSession(4);
  TW_IDENTITY source = ApplicationIdentity(4);
  TW_IDENTITY stranger = ApplicationIdentity(99);
  EXPECT_EQ(TwainDsmEntry(nullptr, &source, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
  EXPECT_EQ(TwainDsmEntry(&source, nullptr, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
  EXPECT_EQ(TwainDsmEntry(&source, &source, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, nullptr), TWRC_FAILURE);
  EXPECT_EQ(TwainDsmEntry(&source, &source, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(TwainDsmEntry(&source, &stranger, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(session->LastMessage(), MSG_NULL);
  EXPECT_EQ(session->State(), kTwainStateManagerOpen);
  EXPECT_EQ(session->SessionEvent().Wait(0), WAIT_TIMEOUT);
}

TEST(TwainSessionMap, InsertFindRemove) {
  TwainSessionMap& map = TwainSessionMap::Instance();
  auto session = std::make_shared<CTwainSession>(77);
  EXPECT_TRUE(map.Insert(77, session));
  EXPECT_FALSE(map.Insert(77, std::make_shared<CTwainSession>(77)));
  EXPECT_TRUE(map.Contains(77));
  EXPECT_EQ(map.Find(77), session);
  EXPECT_EQ(map.Remove(77), session);
  EXPECT_FALSE(map.Contains(77));
  EXPECT_EQ(map.Find(77), nullptr);
  EXPECT_EQ(map.Remove(77), nullptr);
}

// Callbacks on other threads while sessions come and go: the map is locked and a session found
// lives on until the callback is done with it (AddressSanitizer watches for the rest). Each source
// thread calls back its own session, which stays in the map, and the sessions that come and go;
// afterwards every session shows exactly what a callback does: the message kept, the event
// signalled, the transfer-ready state for MSG_XFERREADY only.
TEST(TwainSessionMap, CallbacksFromOtherThreadsWhileSessionsComeAndGo) {
  TwainSessionMap& map = TwainSessionMap::Instance();
  constexpr int kSources = 4;
  auto messageOf = [](int source) { return (source % 2) == 0 ? MSG_XFERREADY : MSG_CLOSEDSREQ; };
  std::vector<std::shared_ptr<CTwainSession>> own;
  for (int t = 0; t < kSources; ++t) {
    own.push_back(std::make_shared<CTwainSession>(110 + t));
    ASSERT_TRUE(map.Insert(110 + t, own.back()));
  }
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> calls{0};
  std::vector<std::thread> sources;
  for (int t = 0; t < kSources; ++t) {
    sources.emplace_back([&, t] {
      TW_IDENTITY origin{};
      const TW_UINT16 message = messageOf(t);
      do {
        TW_IDENTITY destination{};
        destination.Id = static_cast<TW_UINT32>(100 + (calls % 4));
        EXPECT_EQ(TwainDsmEntry(&origin, &destination, DG_CONTROL, DAT_NULL, message, nullptr), TWRC_SUCCESS);
        destination.Id = static_cast<TW_UINT32>(110 + t);
        EXPECT_EQ(TwainDsmEntry(&origin, &destination, DG_CONTROL, DAT_NULL, message, nullptr), TWRC_SUCCESS);
        ++calls;
      } while (!stop);
    });
  }
  // The sessions come and go only once the callbacks run (a loaded machine starts threads late).
  while (calls.load() == 0) std::this_thread::yield();
  std::vector<std::shared_ptr<CTwainSession>> passing;
  for (int round = 0; round < 2000; ++round) {
    const int32_t id = 100 + round % 4;
    passing.push_back(std::make_shared<CTwainSession>(id));
    map.Insert(id, passing.back());
    if (round % 3 == 0) map.Remove(100 + (round + 1) % 4);
    map.Remove(id);
  }
  stop = true;
  for (std::thread& source : sources) source.join();
  for (int32_t id = 100; id < 104; ++id) EXPECT_FALSE(map.Contains(id));

  for (int t = 0; t < kSources; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(own[t]->LastMessage(), messageOf(t));
    EXPECT_EQ(own[t]->SessionEvent().Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(own[t]->State(), messageOf(t) == MSG_XFERREADY ? kTwainStateTransferReady : kTwainStateManagerLoaded);
    EXPECT_EQ(map.Remove(110 + t), own[t]);
  }
  for (const std::shared_ptr<CTwainSession>& session : passing) {
    const TW_UINT16 message = session->LastMessage();
    const bool signalled = session->SessionEvent().Wait(0) == WAIT_OBJECT_0;
    ASSERT_TRUE(message == MSG_NULL || message == MSG_XFERREADY || message == MSG_CLOSEDSREQ) << message;
    EXPECT_EQ(signalled, message != MSG_NULL);
    if (session->State() == kTwainStateTransferReady) {
      EXPECT_TRUE(signalled);
    } else {
      EXPECT_EQ(session->State(), kTwainStateManagerLoaded);  // nothing else moves the state
    }
  }
}

TEST(TwainMemoryFunctions, NullHandlesAndZeroSizesDoNothing) {
  EXPECT_EQ(TwainMemAllocate(0), nullptr);
  TwainMemFree(nullptr);
  EXPECT_EQ(TwainMemLock(nullptr), nullptr);
  TwainMemUnlock(nullptr);
  TW_HANDLE handle = TwainMemAllocate(22);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(GlobalSize(handle), 22u);
  auto* bytes = static_cast<uint8_t*>(TwainMemLock(handle));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[21], 0);
  TwainMemUnlock(handle);
  EXPECT_EQ(GlobalLockCount(handle), 0u);
  TwainMemFree(handle);
  EXPECT_FALSE(IsGlobalHandle(handle));
}

}  // namespace
}  // namespace rzd::apphal::test
