#include "foundation/log_client.h"
#include "foundation/log_interface.h"
#include "platform/process.h"
#include "recording_logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

namespace rzd {
namespace {

using test::FixedClockScope;
using test::PublishedLogger;

// Sets TZ for the life of the object (time stamps follow a changed TZ).
class TimeZoneScope {
 public:
  explicit TimeZoneScope(const char* zone) : previous_(GetEnv("TZ")) { SetEnv("TZ", zone); }
  ~TimeZoneScope() {
    if (previous_) SetEnv("TZ", *previous_);
    else UnsetEnv("TZ");
  }

 private:
  std::optional<std::string> previous_;
};

TEST(TimeStamp, LocalTimeWithThreeDigitMilliseconds) {
  // 1700000000 is 2023-11-14 22:13:20 UTC; the zone below is 5 h 30 min east of UTC.
  TimeZoneScope zone("XYZ-05:30");
  struct Case {
    int64_t millis;
    const char16_t* expected;
  };
  const Case cases[] = {
      {0, u"2023-11-15 03:43:20:000"},
      {12, u"2023-11-15 03:43:20:012"},
      {999, u"2023-11-15 03:43:20:999"},
  };
  for (const Case& c : cases) {
    FixedClockScope clock(c.millis);
    std::u16string stamp = GetTimeStamp();
    EXPECT_EQ(stamp, c.expected) << c.millis;
    EXPECT_EQ(stamp.size(), 23u);
  }
}

TEST(TimeStamp, SystemClockGivesTheSameShape) {
  std::u16string stamp = GetTimeStamp();
  ASSERT_EQ(stamp.size(), 23u);
  for (size_t i : {4u, 7u}) EXPECT_EQ(stamp[i], u'-');
  EXPECT_EQ(stamp[10], u' ');
  for (size_t i : {13u, 16u, 19u}) EXPECT_EQ(stamp[i], u':');
}

TEST(FeatureLevels, FirstLookupInsertsZeroOnceAndThePointerStays) {
  const std::u16string name = u"FeatureLevels.First";
  auto before = CLogInterface::GetRegisteredFeatureNames();
  ASSERT_EQ(std::count(before.begin(), before.end(), name), 0);

  FeatureLevel* first = CLogInterface::LookupFeatureLevel(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->load(), 0);
  auto afterFirst = CLogInterface::GetRegisteredFeatureNames();
  ASSERT_EQ(afterFirst.size(), before.size() + 1);
  EXPECT_EQ(afterFirst.back(), name);

  // Many more names later, the first entry is where it was.
  for (int i = 0; i < 200; ++i) CLogInterface::LookupFeatureLevel(u"FeatureLevels.Filler" + FormatWString(u"%d", i));
  FeatureLevel* second = CLogInterface::LookupFeatureLevel(name);
  EXPECT_EQ(second, first);
  auto afterSecond = CLogInterface::GetRegisteredFeatureNames();
  EXPECT_EQ(std::count(afterSecond.begin(), afterSecond.end(), name), 1);
  EXPECT_EQ(afterSecond[before.size()], name);  // still in first-lookup order
}

TEST(FeatureLevels, NamesCompareByExactCodeUnits) {
  FeatureLevel* lower = CLogInterface::LookupFeatureLevel(u"FeatureLevels.case");
  FeatureLevel* upper = CLogInterface::LookupFeatureLevel(u"FeatureLevels.CASE");
  EXPECT_NE(lower, upper);
}

TEST(FeatureLevels, ConcurrentFirstLookupsAgreeOnOneEntry) {
  const std::u16string name = u"FeatureLevels.Concurrent";
  std::vector<std::future<FeatureLevel*>> lookups;
  for (int i = 0; i < 16; ++i) {
    lookups.push_back(std::async(std::launch::async, [&] { return CLogInterface::LookupFeatureLevel(name); }));
  }
  FeatureLevel* first = lookups[0].get();
  for (size_t i = 1; i < lookups.size(); ++i) EXPECT_EQ(lookups[i].get(), first);
  auto names = CLogInterface::GetRegisteredFeatureNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), name), 1);
}

class Alpha : public CLogClient {
 public:
  explicit Alpha(CLogInterfacePtr slot) : CLogClient(u"FeatureLevels.Shared", slot) {}
};
class Beta : public CLogClient {
 public:
  explicit Beta(CLogInterfacePtr slot) : CLogClient(u"FeatureLevels.Shared", slot) {}
};

TEST(FeatureLevels, ALevelWrittenThroughThePointerReachesEveryClassAtOnce) {
  PublishedLogger published;
  Alpha alpha(published.Slot());
  Beta beta(published.Slot());
  EXPECT_EQ(alpha._getFeatureFlag(), 0u);
  EXPECT_EQ(beta._getFeatureFlag(), 0u);

  FeatureLevel* level = CLogInterface::LookupFeatureLevel(u"FeatureLevels.Shared");
  level->store(LOG_LEVEL_ERROR | LOG_LEVEL_INFO);
  EXPECT_EQ(alpha._getFeatureFlag(), 5u);
  EXPECT_EQ(beta._getFeatureFlag(), 5u);
  level->store(0);
  EXPECT_EQ(alpha._getFeatureFlag(), 0u);
  EXPECT_EQ(beta._getFeatureFlag(), 0u);
}

TEST(Logger, NoLoggerPublishedMeansNoLogger) {
  // This test's process has no sink: the deliverable's slot is empty.
  CLogInterfacePtr global = GetGlobalLogObject();
  ASSERT_NE(global, nullptr);
  EXPECT_EQ(global, GetGlobalLogObject());
  EXPECT_EQ(global->Get(), nullptr);
}

TEST(Logger, MapOutlivesEveryLoggerInstance) {
  FeatureLevel* level = nullptr;
  {
    test::RecordingLogger first;
    level = first.GetFeatureLevel(u"Logger.Lifetime");
    level->store(2);
  }
  // The last instance is gone; a new one finds the same entry and its level.
  test::RecordingLogger second;
  EXPECT_EQ(second.GetFeatureLevel(u"Logger.Lifetime"), level);
  EXPECT_EQ(level->load(), 2);
}

// Blocks inside Log until released.
class BlockingLogger : public CLogInterface {
 public:
  void Log(uint32_t, uint32_t, uint32_t, const char16_t*, const char16_t*, const char16_t*) override {
    entered.set_value();
    release.get_future().wait();
    ++lines;
  }
  std::promise<void> entered;
  std::promise<void> release;
  std::atomic<int> lines{0};
};

TEST(Logger, WithdrawWaitsForACallInsideTheLogger) {
  BlockingLogger logger;
  LogObjectSlot slot;
  slot.Publish(&logger);
  CLogClient client(u"Logger.Withdraw", &slot);
  CLogInterface::LookupFeatureLevel(u"Logger.Withdraw")->store(LOG_LEVEL_INFO);

  std::thread writer([&] { RZD_LOG_INFO_OF(client, u"one line"); });
  logger.entered.get_future().wait();

  std::atomic<bool> withdrawn{false};
  std::thread withdrawer([&] {
    EXPECT_EQ(slot.Withdraw(), &logger);
    withdrawn = true;
  });
  // The slot is emptied at once, but Withdraw waits while the call is inside the logger.
  for (int i = 0; i < 200 && slot.Get() != nullptr; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(slot.Get(), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(withdrawn.load());

  logger.release.set_value();
  writer.join();
  withdrawer.join();
  EXPECT_TRUE(withdrawn.load());
  EXPECT_EQ(logger.lines.load(), 1);

  // Withdrawn: the test fails and a printer called anyway writes nothing.
  RZD_LOG_INFO_OF(client, u"after");
  client._LogFmtInfo(u"after, called directly");
  EXPECT_EQ(logger.lines.load(), 1);
}

TEST(FormatWString, FormatsWideAndNarrowArguments) {
  EXPECT_EQ(FormatWString(u"%s=%d %S %5.2f", u"x", 42, "narrow", 1.5), u"x=42 narrow  1.50");
}

}  // namespace
}  // namespace rzd
