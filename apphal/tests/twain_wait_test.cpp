// The wait between enabling the source and the transfer: every way a source can announce itself,
// close requests, WM_QUIT, a failing ProcessEvent, foreign messages and the idle time-out.
#include "apphal/scan_records.h"
#include "platform/process.h"

#include <ostream>
#include "session_fixture.h"
#include "twain_standard.h"

namespace rzd::apphal::test {
namespace {

using twainds::ScriptBuilder;

constexpr uint32_t kCancel = ZQHARDWARE_STATUS_USERCANCEL;

struct WaitCase {
  const char* name;
  const char* signal;
  const char* announce;
  const char* processEventAnswer;  // scripted answer of MSG_PROCESSEVENT, or null
  TwainWaitOutcome outcome;
  uint32_t result;
  uint32_t state;  // after the wait
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class WaitTest : public SessionTest, public ::testing::WithParamInterface<WaitCase> {};

// A source that only calls back (from its own thread, no message posted) is seen at once: the
// event is polled in every round, not only after a message.
TEST_P(WaitTest, EndsAsTheSourceAnnounces) {
  const WaitCase& c = GetParam();
  ScriptBuilder script;
  script.Source("Signal", c.signal).Source("Announce", c.announce);
  if (c.processEventAnswer) script.Fail(standard::kProcessEventTriplet, c.processEventAnswer);
  auto session = OpenSession(script);
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  const TwainWaitResult waited = session->WaitForDataSource();
  EXPECT_EQ(waited.outcome, c.outcome);
  EXPECT_EQ(waited.result, c.result);
  EXPECT_EQ(session->State(), c.state);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Announcements, WaitTest,
    ::testing::Values(
        WaitCase{"XferReadyThroughProcessEvent", "message", "xferready", nullptr, TwainWaitOutcome::TransferReady, 0, 6},
        WaitCase{"CloseRequestThroughProcessEvent", "message", "closedsreq", nullptr, TwainWaitOutcome::Cancelled,
                 kCancel, 5},
        WaitCase{"XferReadyByCallbackAlone", "callback", "xferready", nullptr, TwainWaitOutcome::TransferReady, 0, 6},
        WaitCase{"XferReadyByInvokedCallback", "invoke", "xferready", nullptr, TwainWaitOutcome::TransferReady, 0, 6},
        WaitCase{"CloseRequestByCallback", "callback", "closedsreq", nullptr, TwainWaitOutcome::Cancelled, kCancel, 5},
        WaitCase{"ProcessEventFails", "message", "xferready", "1,4", TwainWaitOutcome::Failed,
                 TwainResult(TWCC_MAXCONNECTIONS, TWRC_FAILURE), 5},
        WaitCase{"ProcessEventRaises", "message", "xferready", "throw", TwainWaitOutcome::Failed, kTwainBummer, 5}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

TEST_F(SessionTest, QuitEndsTheWaitAsACancelAndStaysQueued) {
  auto session = OpenSession(ScriptBuilder().Source("Signal", "none"));
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  PostQuitMessage(7);
  const TwainWaitResult waited = session->WaitForDataSource();
  EXPECT_EQ(waited.outcome, TwainWaitOutcome::Cancelled);
  EXPECT_EQ(waited.result, kCancel);
  std::optional<ThreadMessage> quit = PeekThreadMessage(true);
  ASSERT_TRUE(quit);
  EXPECT_EQ(quit->id, WM_QUIT);
  EXPECT_EQ(quit->wparam, 7u);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, MessagesThatAreNotTheSourcesAreDispatched) {
  auto session = OpenSession(ScriptBuilder());
  std::vector<uint32_t> dispatched;
  SetThreadMessageHandler([&](const ThreadMessage& message) { dispatched.push_back(message.id); });
  PostThreadMessage(CurrentThreadId(), WM_USER + 7, 1, 2);  // queued before the source's own message
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  EXPECT_EQ(session->WaitForDataSource().outcome, TwainWaitOutcome::TransferReady);
  EXPECT_EQ(dispatched, std::vector<uint32_t>{WM_USER + 7});
  std::vector<TW_UINT16> answers;
  for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
    if (entry.triplet == standard::kProcessEventTriplet) answers.push_back(entry.rc);
  }
  EXPECT_EQ(answers, (std::vector<TW_UINT16>{TWRC_NOTDSEVENT, TWRC_DSEVENT}));
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, ASilentSourceTimesOutAsACancel) {
  auto session = OpenSession(ScriptBuilder().Source("Signal", "none"));
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  const TwainWaitResult waited = session->WaitForDataSource(50);
  EXPECT_EQ(waited.outcome, TwainWaitOutcome::Cancelled);
  EXPECT_EQ(waited.result, kCancel);
  EXPECT_EQ(session->State(), kTwainStateSourceEnabled);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

}  // namespace
}  // namespace rzd::apphal::test
