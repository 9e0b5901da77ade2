#include "foundation/log_client.h"
#include "platform/process.h"
#include "recording_logger.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace rzd {
namespace {

using test::FixedClockScope;
using test::PublishedLogger;
using test::RecordingLogger;

// Counts how often it is turned into a log argument.
int g_conversions = 0;
int Counted(int value) {
  ++g_conversions;
  return value;
}

class CSample : public CLogClient {
 public:
  CSample(const std::u16string& name, CLogInterfacePtr slot) : CLogClient(name, slot) {}
  using CLogClient::SetDefaultFlag;
  void Error() const { RZD_LOG_ERROR(u"error %d", Counted(1)); }
  void Warn() const { RZD_LOG_WARN(u"warn %d", Counted(2)); }
  void Info() const { RZD_LOG_INFO(u"info %d", Counted(3)); }
  void DataError() const { RZD_LOG_DATA_ERROR(u"data error %d", Counted(4)); }
  void DataWarn() const { RZD_LOG_DATA_WARN(u"data warn %d", Counted(5)); }
  void DataInfo() const { RZD_LOG_DATA_INFO(u"data info %d", Counted(6)); }
};

struct SiteCase {
  const char* site;
  std::function<void(const CSample&)> log;
  bool data;
  uint32_t bit;
  const char16_t* text;
};

std::vector<SiteCase> Sites() {
  return {
      {"RZD_LOG_ERROR", [](const CSample& s) { s.Error(); }, false, 1, u"error 1"},
      {"RZD_LOG_WARN", [](const CSample& s) { s.Warn(); }, false, 2, u"warn 2"},
      {"RZD_LOG_INFO", [](const CSample& s) { s.Info(); }, false, 4, u"info 3"},
      {"RZD_LOG_DATA_ERROR", [](const CSample& s) { s.DataError(); }, true, 1, u"data error 4"},
      {"RZD_LOG_DATA_WARN", [](const CSample& s) { s.DataWarn(); }, true, 2, u"data warn 5"},
      {"RZD_LOG_DATA_INFO", [](const CSample& s) { s.DataInfo(); }, true, 4, u"data info 6"},
  };
}

TEST(LogClient, NamesAreFixedAtConstruction) {
  CSample sample(u"HAL Service Module", nullptr);
  EXPECT_EQ(sample.GetFeatureName(), u"HAL Service Module");
  EXPECT_EQ(sample.GetDataFeatureName(), u"HAL Service Module.Data");
}

TEST(LogClient, EachSiteWritesOnlyWithItsBitAndNeverFormatsOtherwise) {
  PublishedLogger published;
  FixedClockScope clock(12);
  int n = 0;
  for (const SiteCase& site : Sites()) {
    SCOPED_TRACE(site.site);
    const std::u16string name = u"LogClient.Site" + FormatWString(u"%d", n++);
    CSample sample(name, published.Slot());
    FeatureLevel* feature = CLogInterface::LookupFeatureLevel(name);
    FeatureLevel* data = CLogInterface::LookupFeatureLevel(name + u".Data");
    FeatureLevel* own = site.data ? data : feature;
    FeatureLevel* other = site.data ? feature : data;

    // Off: every other bit of its own level, and every bit of the other level.
    own->store(static_cast<int32_t>(7u & ~site.bit));
    other->store(7);
    published.Logger().Clear();
    g_conversions = 0;
    site.log(sample);
    EXPECT_EQ(g_conversions, 0);
    EXPECT_TRUE(published.Logger().Lines().empty());

    // On: one line, formatted once.
    own->store(static_cast<int32_t>(site.bit));
    other->store(0);
    site.log(sample);
    EXPECT_EQ(g_conversions, 1);
    auto lines = published.Logger().Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, site.bit);
    EXPECT_EQ(lines[0].feature, site.data ? name + u".Data" : name);
    EXPECT_EQ(lines[0].text, site.text);
    EXPECT_EQ(lines[0].processId, CurrentProcessId());
    EXPECT_EQ(lines[0].threadId, CurrentThreadId());
    EXPECT_EQ(lines[0].timeStamp, GetTimeStamp());
  }
}

TEST(LogClient, WithoutALoggerNothingIsFormattedAndTheDefaultFlagIsAnswered) {
  LogObjectSlot empty;
  CSample withEmptySlot(u"LogClient.NoLogger", &empty);
  CSample withNoSlot(u"LogClient.NoSlot", nullptr);
  CLogInterface::LookupFeatureLevel(u"LogClient.NoLogger")->store(7);
  withEmptySlot.SetDefaultFlag(2);
  for (CSample* sample : {&withEmptySlot, &withNoSlot}) {
    EXPECT_EQ(sample->GetLogObject(), nullptr);
    g_conversions = 0;
    for (const SiteCase& site : Sites()) site.log(*sample);
    EXPECT_EQ(g_conversions, 0);
  }
  EXPECT_EQ(withEmptySlot._getFeatureFlag(), 2u);
  EXPECT_EQ(withEmptySlot._getDataFlag(), 2u);
  EXPECT_EQ(withNoSlot._getFeatureFlag(), 0u);
}

TEST(LogClient, ALoggerPublishedLaterIsSeenOnTheNextCall) {
  LogObjectSlot slot;
  CSample sample(u"LogClient.Later", &slot);
  CLogInterface::LookupFeatureLevel(u"LogClient.Later")->store(4);
  sample.Info();
  RecordingLogger logger;
  slot.Publish(&logger);
  sample.Info();
  slot.Withdraw();
  sample.Info();
  EXPECT_EQ(logger.Texts(), std::vector<std::u16string>{u"info 3"});
}

TEST(LogClient, ADataLineAsTheFirstUseInitialises) {
  PublishedLogger published;
  CSample sample(u"LogClient.DataFirst", published.Slot());
  CLogInterface::LookupFeatureLevel(u"LogClient.DataFirst.Data")->store(4);
  sample.DataInfo();
  EXPECT_EQ(published.Logger().Texts(), std::vector<std::u16string>{u"data info 6"});
}

// Answers levels from entries of its own and counts the questions.
class OwnMapLogger : public RecordingLogger {
 public:
  FeatureLevel* GetFeatureLevel(const std::u16string& name) override {
    asked.push_back(name);
    return name.ends_with(u".Data") ? &data : &feature;
  }
  std::vector<std::u16string> asked;
  FeatureLevel feature{0};
  FeatureLevel data{0};
};

TEST(LogClient, SetLogObject2RereadsBothLevelPointers) {
  PublishedLogger first;
  CSample sample(u"LogClient.Switch", first.Slot());
  CLogInterface::LookupFeatureLevel(u"LogClient.Switch")->store(4);
  EXPECT_EQ(sample._getFeatureFlag(), 4u);

  OwnMapLogger host;
  LogObjectSlot hostSlot;
  hostSlot.Publish(&host);
  host.feature.store(1);
  host.data.store(2);
  sample.SetLogObject2(&hostSlot);
  EXPECT_NE(sample.GetLogObject(), nullptr);
  EXPECT_EQ(host.asked, (std::vector<std::u16string>{u"LogClient.Switch", u"LogClient.Switch.Data"}));
  EXPECT_EQ(sample._getFeatureFlag(), 1u);
  EXPECT_EQ(sample._getDataFlag(), 2u);
  sample.Error();
  sample.Info();
  EXPECT_EQ(host.Texts(), std::vector<std::u16string>{u"error 1"});
  EXPECT_TRUE(first.Logger().Lines().empty());
  hostSlot.Withdraw();
}

class ThrowingLogger : public CLogInterface {
 public:
  void Log(uint32_t, uint32_t, uint32_t, const char16_t*, const char16_t*, const char16_t*) override {
    throw std::runtime_error("broken sink");
  }
};

TEST(LogClient, AFailureInsideAPrinterStaysInside) {
  ThrowingLogger logger;
  LogObjectSlot slot;
  slot.Publish(&logger);
  CSample sample(u"LogClient.Throwing", &slot);
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(sample._LogFmtError(u"x"));
  EXPECT_NO_THROW(sample._LogDataFmtWarn(u"y"));
  std::string output = testing::internal::GetCapturedStderr();
  EXPECT_EQ(output, "Unhandled exception in _LogFmtError\nUnhandled exception in _LogDataFmtWarn\n");
  slot.Withdraw();
}

TEST(LogClient, APrinterCalledAfterTheLoggerWasWithdrawnDoesNothing) {
  // The site's test passed, then the logger was withdrawn before the printer ran.
  RecordingLogger logger;
  LogObjectSlot slot;
  slot.Publish(&logger);
  CLogInterface::LookupFeatureLevel(u"LogClient.Withdrawn")->store(7);
  CLogInterface::LookupFeatureLevel(u"LogClient.Withdrawn.Data")->store(7);
  CSample sample(u"LogClient.Withdrawn", &slot);
  sample.Info();  // initialised with the logger present
  ASSERT_EQ(logger.Texts().size(), 1u);
  slot.Withdraw();
  testing::internal::CaptureStderr();
  sample._LogFmtError(u"error %d", 1);
  sample._LogFmtInfo(u"info %d", 2);
  sample._LogDataFmtWarn(u"data %d", 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(logger.Texts().size(), 1u);
  EXPECT_EQ(sample.GetLogObject(), nullptr);
}

TEST(LogClient, ManyThreadsLoggingFirstAtOnce) {
  PublishedLogger published;
  CLogInterface::LookupFeatureLevel(u"LogClient.Threads")->store(4);
  CSample sample(u"LogClient.Threads", published.Slot());
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 50; ++j) sample.Info();
    });
  }
  for (auto& t : threads) t.join();
  auto lines = published.Logger().Lines();
  ASSERT_EQ(lines.size(), 400u);
  for (const auto& line : lines) {
    EXPECT_EQ(line.feature, u"LogClient.Threads");
    EXPECT_EQ(line.text, u"info 3");
  }
}

TEST(LogClient, ACopyKeepsNameAndSlotWithItsOwnState) {
  PublishedLogger published;
  CLogInterface::LookupFeatureLevel(u"LogClient.Copy")->store(4);
  CSample original(u"LogClient.Copy", published.Slot());
  CSample copy(original);
  EXPECT_EQ(copy.GetFeatureName(), u"LogClient.Copy");
  copy.Info();
  EXPECT_EQ(published.Logger().Lines().size(), 1u);
}

}  // namespace
}  // namespace rzd
