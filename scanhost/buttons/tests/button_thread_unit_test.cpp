// The button thread against the simulated unit in its own process, through the driver library as
// the service loads it: presses on the unit reach the objects the desktop application created.
#include "scanhost/testing/application_objects.h"
#include "scanhost/buttons/button_thread.h"
#include "scanhost/testing/unit_with_driver.h"
#include "testsupport/temp_root.h"
#include "testsupport/eventually.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace rzd::scanhost::buttons {
namespace {

using test::ApplicationObjects;

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";

// The scanner object's part, over the unit's opened driver handle.
class UnitHost : public ButtonThreadHost {
 public:
  explicit UnitHost(test::UnitWithDriver& unit) : unit_(unit) {}
  ScannerDriver& Driver() override { return unit_; }
  bool UnitOpened() override { return unit_.HasHandle(); }
  bool PollingEnabled() override {
    ++polls;
    return true;
  }
  void ReapDeadClients() override {}
  void ClearRunning() override { running = false; }
  void SignalStarted() override {
    running = true;
    started.Set();
  }
  void SignalEnded() override { started.Set(); }
  bool WaitForStop(uint32_t waitMs) override { return stop.Wait(waitMs) == WAIT_TIMEOUT; }
  std::u16string FriendlyName() override { return kFriendly; }
  std::u16string DeviceClassKey() override { return unit_.ClassKeyPath(); }

  std::atomic<int> polls{0};
  std::atomic<bool> running{false};
  Event stop = Event::Unnamed(false, false);
  Event started = Event::Unnamed(false, false);

 private:
  test::UnitWithDriver& unit_;
};

class ButtonThreadUnitTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    unit_ = std::make_unique<test::UnitWithDriver>(RZD_LOWDRV_LIBRARY, kFriendly);
    ASSERT_TRUE(unit_->Open());
    host_ = std::make_unique<UnitHost>(*unit_);
    poller_ = std::make_unique<ButtonPoller>(*host_);
  }
  void TearDown() override {
    StopThread();
    poller_.reset();
    host_.reset();
    unit_.reset();
  }

  // The scanner object's start and stop of its thread.
  void StartThread() {
    host_->stop.Reset();
    host_->started.Reset();
    thread_ = Thread::Start([this] { return poller_->Run(); });
    ASSERT_TRUE(thread_);
    ASSERT_EQ(host_->started.Wait(60000), WAIT_OBJECT_0);
    ASSERT_TRUE(host_->running);
  }
  void StopThread() {
    if (!thread_) return;
    host_->stop.Set();
    EXPECT_EQ(thread_.Join(60000), WAIT_OBJECT_0);
    thread_ = Thread();
  }
  // Waits until the thread has polled `count` more times (each poll asks the polling flag once).
  void WaitForPolls(int count) {
    const int until = host_->polls + count;
    rzd::test::Eventually([&] { return host_->polls >= until; });
    ASSERT_GE(host_->polls, until);
  }
  static size_t OpenDescriptors() {
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd"); it != std::filesystem::directory_iterator(); ++it)
      ++count;
    return count;
  }

  std::unique_ptr<test::UnitWithDriver> unit_;
  std::unique_ptr<UnitHost> host_;
  std::unique_ptr<ButtonPoller> poller_;
  Thread thread_;
};

TEST_F(ButtonThreadUnitTest, PressesOnTheUnitReachTheApplicationsObjects) {
  ApplicationObjects app(kFriendly);
  StartThread();
  ASSERT_EQ(unit_->UnitControl("press 2 short function=4"), "ok");
  ASSERT_EQ(app.simplex.Wait(60000), WAIT_OBJECT_0);
  EXPECT_EQ(app.Count(), 4) << "CHANNELMUX released by the function number";
  EXPECT_FALSE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.duplex));

  ASSERT_EQ(unit_->UnitControl("press 3 long function=7"), "ok");
  ASSERT_EQ(app.duplex.Wait(60000), WAIT_OBJECT_0);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(app.Count(), 7);
}

TEST_F(ButtonThreadUnitTest, ADisabledButtonSignalsNothing) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
  key.SetDword(u"DisableButtons", kDisableSimplex);
  ApplicationObjects app(kFriendly);
  StartThread();
  ASSERT_EQ(unit_->UnitControl("press 2 short function=5"), "ok");
  WaitForPolls(3);  // the press was polled and dropped
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_EQ(app.Count(), 4);
  // The other button still works.
  ASSERT_EQ(unit_->UnitControl("press 3 short function=6"), "ok");
  ASSERT_EQ(app.duplex.Wait(60000), WAIT_OBJECT_0);
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_EQ(app.Count(), 6);
}

TEST_F(ButtonThreadUnitTest, TheStartWritesDfdSkipForTheModelsButtons) {
  StartThread();
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, unit_->ClassKeyPath(), &key), ERROR_SUCCESS);
  uint32_t skip = 0;
  ASSERT_EQ(key.GetDword(kDfdSkipValue, &skip), ERROR_SUCCESS);
  EXPECT_EQ(skip, 1u) << "the model's document describes Button7";
}

TEST_F(ButtonThreadUnitTest, FiveStartsAndStopsLeaveNoHandleBehind) {
  StartThread();  // the first start makes what stays for the object's life
  StopThread();
  const size_t descriptors = OpenDescriptors();
  const Event userSettings = poller_->UserSettingsEvent();
  ASSERT_TRUE(userSettings);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    StartThread();
    WaitForPolls(1);
    StopThread();
    EXPECT_FALSE(thread_);
    EXPECT_TRUE(poller_->UserSettingsEvent().SameObject(userSettings)) << "made once for the object";
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace rzd::scanhost::buttons
