// The diagnostics sink with the configuration stand-in: no server, levels from the server and
// their change on the event, the emitter binding, and the records that reach the emitter.
#include "diag_test_support.h"

#include <cctype>

namespace rzd::test {
namespace {

// "YYYY-MM-DD HH:MM:SS:mmm"
bool IsTimeStamp(const std::string& text) {
  const std::string shape = "dddd-dd-dd dd:dd:dd:ddd";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

TEST_F(DiagSinkTest, WithoutAServerThereIsNoLoggerAndNothingIsLogged) {
  ASSERT_EQ(DiagConfig({"output", Output().string()}), 0);
  ASSERT_EQ(DiagConfig({"emitter", DiagEmitterLibrary().string()}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Quiet", "7"}), 0);  // configured, but no server

  StartDiagnostics(u"Corvanite", u"M48tz");
  EXPECT_TRUE(DiagnosticsStarted());
  EXPECT_EQ(GetGlobalLogObject()->Get(), nullptr);
  Feature quiet(u"Quiet");
  EXPECT_EQ(quiet._getFeatureFlag(), 0u);
  quiet.Error(u"never written");
  StartDiagnostics(u"Corvanite", u"M48tz");  // still started: does nothing
  StopDiagnostics();
  EXPECT_FALSE(DiagnosticsStarted());
  StopDiagnostics();  // twice: harmless
  EXPECT_FALSE(std::filesystem::exists(Output()));

  // The server made to refuse creation is the same as none.
  Configure();
  ASSERT_EQ(DiagConfig({"fail", "CreateInstance"}), 0);
  StartDiagnostics(u"Corvanite", u"M48tz");
  EXPECT_EQ(GetGlobalLogObject()->Get(), nullptr);
  StopDiagnostics();
}

TEST_F(DiagSinkTest, StopWithoutStartIsHarmless) {
  StopDiagnostics();
  EXPECT_FALSE(DiagnosticsStarted());
}

TEST_F(DiagSinkTest, RecordsReachTheEmitterWithEveryField) {
  Configure();
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Engine", "5"}), 0);  // error and information
  StartDiagnostics(u"Corvanite", u"M48tz");
  _CorDiagSink* sink = Published();
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(sink->EmitterPath(), FromUtf8(DiagEmitterLibrary().string()));
  EXPECT_NE(sink->EventCookie(), DispEventSink::kNotConnected);

  Feature engine(u"Engine");
  EXPECT_EQ(engine._getFeatureFlag(), 5u);
  uint32_t threadId = 0;
  std::thread([&] {
    threadId = CurrentThreadId();
    engine.Info(u"opened\tunit 1");
  }).join();
  engine.Error(u"failed because it is so");
  RZD_LOG_WARN_OF(engine, u"warnings are off");
  StopDiagnostics();

  const auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  const std::string pid = std::to_string(CurrentProcessId());
  EXPECT_EQ(records[0].company, "Corvanite");
  EXPECT_EQ(records[0].level, "4");
  EXPECT_EQ(records[0].processId, pid);
  EXPECT_EQ(records[0].threadId, std::to_string(threadId));
  EXPECT_TRUE(IsTimeStamp(records[0].timeStamp)) << records[0].timeStamp;
  EXPECT_EQ(records[0].source, "M48tz.Engine");
  EXPECT_EQ(records[0].text, "opened\\tunit 1");
  EXPECT_EQ(records[1].level, "1");
  EXPECT_EQ(records[1].threadId, std::to_string(CurrentThreadId()));
  EXPECT_EQ(records[1].text, "failed because it is so");
  EXPECT_EQ(GetGlobalLogObject()->Get(), nullptr);  // withdrawn by the stop
}

TEST_F(DiagSinkTest, LevelsComeFromTheServerAndFollowItsChangeEvent) {
  Configure();
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "Scanner", "1"}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "*", "2"}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "Listed Only", "4"}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Scanner", "7"}), 0);  // another product's level
  StartDiagnostics(u"Corvanite", u"M48tzHAL");
  ASSERT_NE(Published(), nullptr);

  // The configuration read at start registered the listed features with their levels.
  const auto names = CLogInterface::GetRegisteredFeatureNames();
  EXPECT_NE(std::find(names.begin(), names.end(), u"Listed Only"), names.end());
  EXPECT_EQ(CLogInterface::LookupFeatureLevel(u"Listed Only")->load(), 4);

  Feature scanner(u"Scanner");
  Feature other(u"Unlisted Class");
  EXPECT_EQ(scanner._getFeatureFlag(), 1u);
  EXPECT_EQ(other._getFeatureFlag(), 2u);  // the product's default, asked of the server

  // A change reaches every class through its stored level, without a new lookup.
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "Scanner", "6", "--notify"}), 0);
  EXPECT_TRUE(Eventually([&] { return scanner._getFeatureFlag() == 6u; }));
  ASSERT_EQ(DiagConfig({"remove", "M48tzHAL", "Listed Only"}), 0);
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "Newly Listed", "1", "--notify"}), 0);
  EXPECT_TRUE(Eventually([&] { return CLogInterface::LookupFeatureLevel(u"Newly Listed")->load() == 1; }));

  // A failing question stores level 0.
  ASSERT_EQ(DiagConfig({"fail", "GetFeatureLevel"}), 0);
  Feature failing(u"Scanner.Failing");
  ASSERT_EQ(DiagConfig({"level", "M48tzHAL", "Scanner.Failing", "7"}), 0);
  EXPECT_EQ(failing._getFeatureFlag(), 0u);
}

TEST_F(DiagSinkTest, EmitterWithoutEmitStaysOffAndIsTriedAgainAfterTheNextChange) {
  Configure(false);
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Engine", "4"}), 0);
  // A library that loads but has no `Emit`.
  ASSERT_EQ(DiagConfig({"emitter", DiagServerLibrary().string()}), 0);
  StartDiagnostics(u"Corvanite", u"M48tz");
  _CorDiagSink* sink = Published();
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(sink->EmitterPath(), u"");
  Feature engine(u"Engine");
  engine.Info(u"dropped");

  // The same path again after a change: still off.
  ASSERT_EQ(DiagConfig({"notify"}), 0);
  ASSERT_EQ(DiagConfig({"emitter", DiagEmitterLibrary().string(), "--notify"}), 0);
  ASSERT_TRUE(Eventually([&] { return !sink->EmitterPath().empty(); }));
  engine.Info(u"kept");

  // Back to the bad one and back again: logging returns with the good library.
  ASSERT_EQ(DiagConfig({"emitter", DiagServerLibrary().string(), "--notify"}), 0);
  ASSERT_TRUE(Eventually([&] { return sink->EmitterPath().empty(); }));
  engine.Info(u"dropped too");
  ASSERT_EQ(DiagConfig({"emitter", DiagEmitterLibrary().string(), "--notify"}), 0);
  ASSERT_TRUE(Eventually([&] { return !sink->EmitterPath().empty(); }));
  engine.Info(u"kept again");
  StopDiagnostics();

  std::vector<std::string> texts;
  for (const auto& record : Records()) texts.push_back(record.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"kept", "kept again"}));
}

TEST_F(DiagSinkTest, AFailingEmitterQuestionLeavesLoggingOffUntilItAnswers) {
  Configure();
  ASSERT_EQ(DiagConfig({"level", "M48tz", "Engine", "4"}), 0);
  ASSERT_EQ(DiagConfig({"fail", "GetEmitterPath"}), 0);
  StartDiagnostics(u"Corvanite", u"M48tz");
  _CorDiagSink* sink = Published();
  ASSERT_NE(sink, nullptr);  // the server exists: the logger is published
  EXPECT_EQ(sink->EmitterPath(), u"");
  ASSERT_EQ(DiagConfig({"fail", "none", "--notify"}), 0);
  ASSERT_TRUE(Eventually([&] { return !sink->EmitterPath().empty(); }));
  Feature engine(u"Engine");
  engine.Info(u"now written");
  StopDiagnostics();
  ASSERT_EQ(Records().size(), 1u);
}

TEST_F(DiagSinkTest, ASinkBuiltDirectlyReadsTheConfiguration) {
  Configure();
  ASSERT_EQ(DiagConfig({"level", "M48tzIPHAL", "Bridge", "3"}), 0);
  ComInit init;
  {
    _CorDiagSink sink(u"Corvanite", u"M48tzIPHAL");
    ASSERT_TRUE(sink.HasConfiguration());
    EXPECT_EQ(sink.Company(), u"Corvanite");
    EXPECT_EQ(CLogInterface::LookupFeatureLevel(u"Bridge")->load(), 3);
    EXPECT_EQ(sink.GetFeatureLevel(u"Bridge"), CLogInterface::LookupFeatureLevel(u"Bridge"));
    sink.Log(2, 10, 20, u"2024-05-06 07:08:09:010", nullptr, nullptr);
  }
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].source, "M48tzIPHAL.");
  EXPECT_EQ(records[0].processId, "10");
  EXPECT_EQ(records[0].text, "");
}

}  // namespace
}  // namespace rzd::test
