// A press told to the desktop application through the objects it created.
#include "scanhost/testing/application_objects.h"
#include "log_capture.h"
#include "scanhost/buttons/button_events.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::scanhost::buttons {
namespace {

using test::ApplicationObjects;

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";

class ButtonSignalsTest : public rzd::test::TempRoot {};

TEST_F(ButtonSignalsTest, APressDrainsTheSemaphoreReleasesItByTheFunctionAndSetsItsChannel) {
  ApplicationObjects app(kFriendly);
  EXPECT_EQ(SignalButtonEvents(ButtonState{true, false, false, 3}, kFriendly), kWaitAfterPressMs);
  EXPECT_EQ(app.Count(), 3) << "the four counts taken, three given";
  EXPECT_TRUE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.duplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.longPress));

  EXPECT_EQ(SignalButtonEvents(ButtonState{false, true, false, 9}, kFriendly), kWaitAfterPressMs);
  EXPECT_EQ(app.Count(), 9);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.duplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
}

TEST_F(ButtonSignalsTest, ALongPressSignalsTheLongPressEventAndTheChannel) {
  ApplicationObjects app(kFriendly);
  EXPECT_EQ(SignalButtonEvents(ButtonState{false, true, true, 2}, kFriendly), kWaitAfterPressMs);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(app.Count(), 2);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.duplex));
}

TEST_F(ButtonSignalsTest, WithoutTheSemaphoreNothingIsSignalledAndThePollWaitsAsUsual) {
  ApplicationObjects app(kFriendly, /*withSemaphore=*/false);
  EXPECT_EQ(SignalButtonEvents(ButtonState{true, false, false, 1}, kFriendly), kPollWaitMs);
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.duplex));
}

TEST_F(ButtonSignalsTest, WithoutTheChannelEventTheSemaphoreIsStillReleasedAndThePollWaitsAsUsual) {
  ApplicationObjects app(kFriendly, true, /*withChannels=*/false);
  EXPECT_EQ(SignalButtonEvents(ButtonState{true, false, false, 5}, kFriendly), kPollWaitMs);
  EXPECT_EQ(app.Count(), 5);
}

TEST_F(ButtonSignalsTest, AFunctionNumberOutsideOneToNineLeavesTheSemaphoreAlone) {
  for (int32_t function : {0, 10, 255, -1}) {
    SCOPED_TRACE(function);
    ApplicationObjects app(kFriendly);
    test::LogCapture log;
    EXPECT_EQ(SignalButtonEvents(ButtonState{true, false, true, function}, kFriendly), kPollWaitMs);
    EXPECT_EQ(app.Count(), 4) << "neither drained nor released";
    EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
    EXPECT_TRUE(ApplicationObjects::Signalled(app.longPress)) << "the long press still reaches the application";
    EXPECT_TRUE(log.Contains(u"is outside 1 to 9"));
  }
}

TEST_F(ButtonSignalsTest, AReleasePastTheSemaphoresMaximumIsLoggedAndTheChannelStillSet) {
  ApplicationObjects app(kFriendly, true, true, 1, 4);
  test::LogCapture log;
  EXPECT_EQ(SignalButtonEvents(ButtonState{true, false, false, 6}, kFriendly), kWaitAfterPressMs);
  EXPECT_EQ(app.Count(), 0) << "drained; the release did not fit";
  EXPECT_TRUE(log.Contains(u"CHANNELMUX release by 6 Failed"));
  EXPECT_TRUE(ApplicationObjects::Signalled(app.simplex));
}

}  // namespace
}  // namespace rzd::scanhost::buttons
