// The diagnostics sink under concurrency: concurrent first starts, a stop while calls and change
// events are inside the sink, and start/stop cycles while other threads log and the emitter
// changes under them.
#include "diag_test_support.h"

#include "platform/registry.h"

#include <atomic>
#include <barrier>
#include <future>

namespace rzd::test {
namespace {

size_t ListeningServers() {
  RegKey key;
  std::vector<RegValue> values;
  if (RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\CorDiagConfig\\Listeners", &key) != ERROR_SUCCESS) return 0;
  key.EnumValues(&values);
  return values.size();
}

TEST_F(DiagSinkTest, ConcurrentFirstStartsStartOneThread) {
  Configure();
  constexpr int kThreads = 8;
  std::barrier ready(kThreads);
  std::vector<std::thread> starters;
  for (int i = 0; i < kThreads; ++i) {
    starters.emplace_back([&] {
      ready.arrive_and_wait();
      StartDiagnostics(u"Corvanite", u"M48tz");
      EXPECT_NE(Published(), nullptr);  // every caller returns after the logger is there
    });
  }
  for (auto& starter : starters) starter.join();
  EXPECT_EQ(ListeningServers(), 1u);  // one sink, one configuration object
  StopDiagnostics();
  EXPECT_EQ(ListeningServers(), 0u);
}

TEST_F(DiagSinkTest, StopWaitsForALevelQuestionInsideTheSinkAndReportsTheOverrun) {
  Configure();
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Slow Feature", "4"}), 0);
  StartDiagnostics(u"Corvanite", u"M48tz");
  ASSERT_NE(Published(), nullptr);
  ASSERT_EQ(DiagConfig({"hang", "GetFeatureLevel"}), 0);

  auto asking = std::async(std::launch::async, [] {
    Feature slow(u"Slow Feature");
    return slow._getFeatureFlag();  // the first test asks the server: it hangs there
  });
  ASSERT_EQ(DiagConfig({"wait-hanging", "30000"}), 0);

  SetDiagnosticsStopWait(1);
  const uint32_t overrunsBefore = DiagnosticsOverrunCount();
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    StopDiagnostics();
    stopped = true;
  });
  ASSERT_TRUE(Eventually([&] { return DiagnosticsOverrunCount() == overrunsBefore + 1; }));
  EXPECT_FALSE(stopped.load());  // reported, and still waiting: nothing was killed or freed

  // The answer the hanging question will get once released.
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Slow Feature", "6"}), 0);
  ASSERT_EQ(DiagConfig({"release"}), 0);
  stopper.join();
  EXPECT_TRUE(stopped.load());
  // The question finished inside a sink that was still whole and stored its answer; the class
  // itself sees that the logger is gone.
  EXPECT_EQ(asking.get(), 0u);
  EXPECT_EQ(CLogInterface::LookupFeatureLevel(u"Slow Feature")->load(), 6);
  EXPECT_EQ(GetGlobalLogObject()->Get(), nullptr);
}

TEST_F(DiagSinkTest, ChangeEventsDuringAndAfterTheStopTouchNothingFreed) {
  Configure();
  StartDiagnostics(u"Corvanite", u"M48tz");
  ASSERT_NE(Published(), nullptr);

  // A re-read hangs inside the change handler, holding the global diagnostics lock.
  ASSERT_EQ(DiagConfig({"hang", "GetEmitterPath"}), 0);
  ASSERT_EQ(DiagConfig({"notify"}), 0);
  ASSERT_EQ(DiagConfig({"wait-hanging", "30000"}), 0);

  SetDiagnosticsStopWait(1);
  const uint32_t overrunsBefore = DiagnosticsOverrunCount();
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    StopDiagnostics();
    stopped = true;
  });
  ASSERT_TRUE(Eventually([&] { return DiagnosticsOverrunCount() == overrunsBefore + 1; }));
  EXPECT_FALSE(stopped.load());
  ASSERT_EQ(DiagConfig({"release"}), 0);
  stopper.join();

  // Announcements after the stop reach no sink of this process.
  EXPECT_EQ(ListeningServers(), 0u);
  ASSERT_EQ(DiagConfig({"notify"}), 0);
  EXPECT_EQ(GetGlobalLogObject()->Get(), nullptr);

  // And a new start works as the first did.
  SetDiagnosticsStopWait(kDiagnosticsStopWaitMs);
  StartDiagnostics(u"Corvanite", u"M48tz");
  EXPECT_NE(Published(), nullptr);
}

TEST_F(DiagSinkTest, StartsAndStopsFromSeveralThreadsWhileOthersLogAndTheEmitterChanges) {
  Configure(false);
  // Two copies of the emitter, so that switching between them really unloads a library.
  const std::filesystem::path emitterA = RootPath() / "emitA.so";
  const std::filesystem::path emitterB = RootPath() / "emitB.so";
  std::filesystem::copy_file(DiagEmitterLibrary(), emitterA);
  std::filesystem::copy_file(DiagEmitterLibrary(), emitterB);
  ASSERT_EQ(DiagConfig({"emitter", emitterA.string()}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Busy", "7"}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Busy.Data", "7"}), 0);

  std::atomic<bool> done{false};
  std::vector<std::thread> loggers;
  for (int t = 0; t < 4; ++t) {
    loggers.emplace_back([&, t] {
      Feature kept(u"Busy");
      int n = 0;
      while (!done) {
        Feature fresh(u"Busy");  // a new class asks the server for its level
        RZD_LOG_INFO_OF(fresh, u"fresh %d/%d", t, n);
        RZD_LOG_INFO_OF(kept, u"kept %d/%d", t, n);
        RZD_LOG_DATA_INFO_OF(kept, u"data %d/%d", t, n);
        ++n;
      }
    });
  }
  std::vector<std::thread> cyclers;
  for (int t = 0; t < 3; ++t) {
    cyclers.emplace_back([] {
      for (int i = 0; i < 12; ++i) {
        StartDiagnostics(u"Corvanite", u"M48tz");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        StopDiagnostics();
      }
    });
  }
  std::thread changer([&] {
    for (int i = 0; i < 6; ++i) {
      DiagConfig({"emitter", emitterB.string(), "--notify"});
      DiagConfig({"emitter", emitterA.string(), "--notify"});
    }
  });
  // One more start that stays up while the emitter keeps changing.
  StartDiagnostics(u"Corvanite", u"M48tz");
  for (auto& cycler : cyclers) cycler.join();
  changer.join();
  StartDiagnostics(u"Corvanite", u"M48tz");
  ASSERT_NE(Published(), nullptr);
  ASSERT_TRUE(Eventually([&] { return !Records().empty(); }));
  done = true;
  for (auto& logger : loggers) logger.join();
  StopDiagnostics();

  // Every line written is one whole record.
  std::ifstream in(Output());
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6) << line;
  }
  EXPECT_EQ(lines, Records().size());
  EXPECT_GT(lines, 0u);
}

}  // namespace
}  // namespace rzd::test
