// Global-memory blocks handed to TWAIN data sources.
#include "platform/twain.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace rzd {
namespace {

TEST(TwainGlobalMemory, ZeroInitialisedBlockKeepsItsSizeAndCountsLocks) {
  HGLOBAL handle = GlobalAlloc(kGlobalMovable | kGlobalZeroInit, 22);
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(IsGlobalHandle(handle));
  EXPECT_EQ(GlobalSize(handle), 22u);
  EXPECT_EQ(GlobalLockCount(handle), 0u);

  auto* bytes = static_cast<uint8_t*>(GlobalLock(handle));
  ASSERT_NE(bytes, nullptr);
  for (size_t i = 0; i < 22; ++i) EXPECT_EQ(bytes[i], 0) << i;
  bytes[21] = 0x5A;
  EXPECT_EQ(GlobalLock(handle), bytes);  // the same bytes, a second lock
  EXPECT_EQ(GlobalLockCount(handle), 2u);
  EXPECT_TRUE(GlobalUnlock(handle));      // still locked once
  EXPECT_FALSE(GlobalUnlock(handle));     // now unlocked
  EXPECT_FALSE(GlobalUnlock(handle));     // nothing left to unlock
  EXPECT_EQ(GlobalLockCount(handle), 0u);
  EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(handle))[21], 0x5A);

  EXPECT_EQ(GlobalFree(handle), nullptr);  // freed, also while locked
  EXPECT_FALSE(IsGlobalHandle(handle));
}

TEST(TwainGlobalMemory, TheLiveBlocksAreCounted) {
  const size_t before = GlobalBlockCount();
  HGLOBAL first = GlobalAlloc(kGlobalMovable, 8);
  HGLOBAL second = GlobalAlloc(kGlobalMovable, 8);
  EXPECT_EQ(GlobalBlockCount(), before + 2);
  uint64_t notABlock = 0;
  GlobalFree(&notABlock);  // refused: counts nothing
  GlobalFree(first);
  EXPECT_EQ(GlobalBlockCount(), before + 1);
  GlobalFree(first);  // already freed
  EXPECT_EQ(GlobalBlockCount(), before + 1);
  GlobalFree(second);
  EXPECT_EQ(GlobalBlockCount(), before);
}

TEST(TwainGlobalMemory, NothingForZeroOrOversizedRequests) {
  EXPECT_EQ(GlobalAlloc(kGlobalMovable | kGlobalZeroInit, 0), nullptr);
  EXPECT_EQ(GlobalAlloc(kGlobalMovable, kGlobalMaxBlockBytes + 1), nullptr);
}

TEST(TwainGlobalMemory, HandlesOfTheWrongKindAreRefusedWithoutBeingRead) {
  uint64_t notABlock[4] = {1, 2, 3, 4};
  HGLOBAL freed = GlobalAlloc(kGlobalMovable, 8);
  ASSERT_EQ(GlobalFree(freed), nullptr);

  for (HGLOBAL foreign : {static_cast<HGLOBAL>(notABlock), freed, reinterpret_cast<HGLOBAL>(uintptr_t{0x10})}) {
    EXPECT_FALSE(IsGlobalHandle(foreign));
    EXPECT_EQ(GlobalLock(foreign), nullptr);
    EXPECT_FALSE(GlobalUnlock(foreign));
    EXPECT_EQ(GlobalSize(foreign), 0u);
    EXPECT_EQ(GlobalLockCount(foreign), 0u);
    EXPECT_EQ(GlobalFree(foreign), foreign);  // refused: the handle comes back
  }
  EXPECT_EQ(notABlock[0], 1u);
}

TEST(TwainGlobalMemory, NullHandleDoesNothing) {
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_FALSE(GlobalUnlock(nullptr));
  EXPECT_EQ(GlobalSize(nullptr), 0u);
}

TEST(TwainGlobalMemory, ThreadsAllocateLockAndFreeAtOnce) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL handle = GlobalAlloc(kGlobalZeroInit, 16 + (i % 7));
        auto* bytes = static_cast<uint8_t*>(GlobalLock(handle));
        bytes[0] = static_cast<uint8_t>(t);
        GlobalUnlock(handle);
        EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(handle))[0], t);
        GlobalUnlock(handle);
        EXPECT_EQ(GlobalFree(handle), nullptr);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace rzd
