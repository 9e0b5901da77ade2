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
// lives on until the callback is done with it (AddressSanitizer watches for the rest).
TEST(TwainSessionMap, CallbacksFromOtherThreadsWhileSessionsComeAndGo) {
  TwainSessionMap& map = TwainSessionMap::Instance();
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> calls{0};
  std::vector<std::thread> sources;
  for (int t = 0; t < 4; ++t) {
    sources.emplace_back([&, t] {
      TW_IDENTITY origin{};
      while (!stop) {
        TW_IDENTITY destination{};
        destination.Id = static_cast<TW_UINT32>(100 + (calls % 4));
        const TW_UINT16 message = (t % 2) == 0 ? MSG_XFERREADY : MSG_CLOSEDSREQ;
        EXPECT_EQ(TwainDsmEntry(&origin, &destination, DG_CONTROL, DAT_NULL, message, nullptr), TWRC_SUCCESS);
        ++calls;
      }
    });
  }
  // The sessions come and go only once the callbacks run (a loaded machine starts threads late).
  while (calls.load() == 0) std::this_thread::yield();
  for (int round = 0; round < 2000; ++round) {
    const int32_t id = 100 + round % 4;
    map.Insert(id, std::make_shared<CTwainSession>(id));
    if (round % 3 == 0) map.Remove(100 + (round + 1) % 4);
    map.Remove(id);
  }
  stop = true;
  for (std::thread& source : sources) source.join();
  EXPECT_GT(calls.load(), 0u);
  for (int32_t id = 100; id < 104; ++id) map.Remove(id);
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
