// The service's device notifications (code 0x94000018) against the simulated unit in its own
// process: an object that outlives an unplug, or a killed and restarted rzd-engine, works again
// after the arrival; a removal ends a command the unit left unanswered. The driver is reached
// through Control and Read, and the notifications come from the device table the way the service
// forwards them.
#include "api/device_open.h"
#include "buttons/button_table.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_process.h"
#include "maintenance_fixture.h"
#include "testsupport/eventually.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace rzd::lowdrv::test {
namespace {

constexpr uint32_t kArrival = 0x8000;
constexpr uint32_t kRemoval = 0x8004;

// The notification code with a 4-byte value.
LLDError Notify(void* handle, uint32_t value, uint32_t size = 4) {
  Bstr error;
  ::Control(handle, cc::kSessionStateChanged, nullptr, nullptr, &value, size, nullptr, nullptr, error.Out());
  const std::optional<int32_t> code = error ? std::optional<int32_t>(WToI(error.View().substr(19))) : std::nullopt;
  return code ? static_cast<LLDError>(*code) : 0xFFFFFFFF;
}

// The information document through Control; its result code.
LLDError Info(void* handle, std::u16string* document = nullptr) {
  Bstr info;
  Bstr error;
  const BOOL ok = ::Control(handle, cc::kScannerInfo, nullptr, info.Out(), nullptr, 0, nullptr, nullptr, error.Out());
  if (document) *document = info.Str();
  const int32_t code = error ? WToI(error.View().substr(19)) : -1;
  EXPECT_EQ(ok != FALSE, code == 0);
  return static_cast<LLDError>(code);
}

// Forwards the device table's arrivals and removals of one unit to a driver handle, as the
// service does (on the registration's own thread).
class ServiceStandIn {
 public:
  ServiceStandIn(void* handle, std::u16string path) : handle_(handle), path_(std::move(path)) {
    notification_ = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, [this](const DeviceInterfaceEvent& e) {
      if (e.interfacePath != path_) return;
      const LLDError result = Notify(handle_, e.eventType);
      std::lock_guard guard(lock_);
      forwarded_.emplace_back(e.eventType, result);
      changed_.notify_all();
    });
    EXPECT_TRUE(notification_);
  }
  ~ServiceStandIn() {
    if (notification_) notification_->Unregister();
  }
  // Waits until `count` notifications were forwarded; what was forwarded, with the results.
  std::vector<std::pair<uint32_t, LLDError>> WaitFor(size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(60), [&] { return forwarded_.size() >= count; });
    return forwarded_;
  }

 private:
  void* handle_;
  std::u16string path_;
  std::unique_ptr<DeviceNotification> notification_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::pair<uint32_t, LLDError>> forwarded_;
};

class DriverNotificationTest : public MaintenanceTest {
 protected:
  void TearDown() override {
    api::CloseAllDevices();
    MaintenanceTest::TearDown();
  }
  // Opens the unit through Control (announced online as the service does) and locks it.
  void* OpenLocked() {
    void* handle = OpenThroughControl();
    uint32_t timeout = 5000;
    Bstr error;
    EXPECT_TRUE(::Control(handle, cc::kLock, nullptr, nullptr, &timeout, sizeof timeout, nullptr, nullptr, error.Out()));
    return handle;
  }
  static CScannerLLD& DriverOf(void* handle) {
    return *static_cast<CScannerLLD*>(static_cast<IDriverObject*>(handle));
  }
  // Keeps the unit quiet and starts the information command on another thread; returns once the
  // unit has met the command (and left it unanswered). The command's result goes to `result`.
  std::thread StartUnansweredCommand(void* handle, std::atomic<LLDError>& result) {
    // Only the removal can end the command: its time-out is far beyond the test's.
    DriverOf(handle).m_ulCmdTimeout = 600000;
    EXPECT_EQ(Control("stall").rfind("ok", 0), 0u);
    std::thread command([handle, &result] { result = Info(handle); });
    EXPECT_TRUE(rzd::test::Eventually([&] { return Control("unanswered") != "ok 0"; }));
    return command;
  }
  // Starts rzd-engine again for the unit (after it was killed).
  void RestartUnit() {
    unit_ = ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine",
                                {"--instance", "0", "--serial", kSerial, "--parent-pid", std::to_string(CurrentProcessId())});
    ASSERT_TRUE(unit_);
  }
};

TEST_F(DriverNotificationTest, TheNotificationNeedsAFourByteValueAndIgnoresOthers) {
  StartUnit();
  void* handle = OpenLocked();
  EXPECT_EQ(Notify(handle, kRemoval, 3), lld::kInvalidParameter);
  CScannerLLD& driver = DriverOf(handle);
  EXPECT_EQ(driver.SessionStateChanged(nullptr, 4), lld::kInvalidParameter);
  EXPECT_TRUE(driver.m_ScannerDevice.IsOpen());  // nothing was done
  for (uint32_t other : {0u, 1u, 2u, 5u, 0x4004u, 0x4006u, 0x8002u, 0x8024u}) EXPECT_EQ(Notify(handle, other), 0u);
  EXPECT_TRUE(driver.m_ScannerDevice.IsOpen());
  EXPECT_EQ(Info(handle), 0u);

  // After a resume the presses from before it are forgotten.
  ASSERT_TRUE(ButtonsThreadRunsHere());
  ASSERT_EQ(Control("press 3 function=7"), "ok");
  ASSERT_TRUE(rzd::test::Eventually([] { return buttons::FunctionByte() == 7; }));
  EXPECT_EQ(Notify(handle, 0x4112), 0u);
  EXPECT_EQ(buttons::TakeEntry(3), buttons::kNoPress);
}

TEST_F(DriverNotificationTest, AnObjectThatOutlivedAnUnplugWorksAgainAfterTheArrival) {
  StartUnit();
  void* handle = OpenLocked();
  ServiceStandIn service(handle, path_);
  ASSERT_EQ(Info(handle), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());

  ASSERT_EQ(Control("unplug"), "ok");
  EXPECT_EQ(service.WaitFor(1), (std::vector<std::pair<uint32_t, LLDError>>{{kRemoval, 0}}));
  EXPECT_FALSE(DriverOf(handle).m_ScannerDevice.IsOpen());
  EXPECT_FALSE(ButtonsThreadRunsHere());  // the removal stopped it
  EXPECT_EQ(Info(handle), lld::kUnreachable);  // the unit is gone

  ASSERT_EQ(Control("replug"), "ok");
  EXPECT_EQ(service.WaitFor(2), (std::vector<std::pair<uint32_t, LLDError>>{{kRemoval, 0}, {kArrival, 0}}));
  Control("counters pad=42");
  std::u16string document;
  ASSERT_EQ(Info(handle, &document), 0u);  // the same object, the same handle
  EXPECT_EQ(TextAt(document, u"/RZDScanner/PadScanCount"), u"42");
  EXPECT_EQ(DriverOf(handle).m_ulStatus, state::kLocked);
  Bstr error;
  EXPECT_TRUE(::Control(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, error.Out()));
}

TEST_F(DriverNotificationTest, AnObjectThatOutlivedAKilledAndRestartedUnitWorksAgainAfterTheArrival) {
  StartUnit();
  void* handle = OpenLocked();
  ServiceStandIn service(handle, path_);
  ASSERT_EQ(Info(handle), 0u);

  unit_->Kill();  // no removal: the unit had no chance to say it went
  EXPECT_NE(Info(handle), 0u);
  RestartUnit();
  // The new unit finds the entry of the killed one: its removal, then its own arrival.
  EXPECT_EQ(service.WaitFor(2), (std::vector<std::pair<uint32_t, LLDError>>{{kRemoval, 0}, {kArrival, 0}}));
  Control("counters clean=9");
  std::u16string document;
  ASSERT_EQ(Info(handle, &document), 0u);
  EXPECT_EQ(TextAt(document, u"/RZDScanner/CleanCounter"), u"9");
  Bstr error;
  EXPECT_TRUE(::Control(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, error.Out()));
}

TEST_F(DriverNotificationTest, ARemovalEndsACommandTheUnitLeftUnanswered) {
  StartUnit();
  void* handle = OpenLocked();
  std::atomic<LLDError> stalled{0xFFFFFFFF};
  std::thread command = StartUnansweredCommand(handle, stalled);

  // Meanwhile a read finds the object busy and leaves the metadata slot alone.
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  BSTR meta = nullptr;
  uint32_t boundary = 0;
  EXPECT_FALSE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(meta, nullptr);

  EXPECT_EQ(Notify(handle, kRemoval), 0u);  // passes the busy mark
  command.join();
  EXPECT_EQ(stalled.load(), lld::kUnreachable);

  // A read after the removal finds the unit gone, at once.
  size = sizeof buffer;
  EXPECT_FALSE(Read(handle, buffer, &size, &meta, &boundary));
  ASSERT_NE(meta, nullptr);
  EXPECT_EQ(WToI(BstrView(meta).substr(19)), static_cast<int32_t>(lld::kUnreachable));
  EXPECT_EQ(boundary, 6u);
  SysFreeString(meta);

  ASSERT_EQ(Control("resume"), "ok");
  EXPECT_EQ(Notify(handle, kArrival), 0u);
  DriverOf(handle).m_ulCmdTimeout = 10000;
  EXPECT_EQ(Info(handle), 0u);
}

TEST_F(DriverNotificationTest, AnUnplugEndsACommandTheUnitLeftUnansweredAndTheReplugRestoresTheObject) {
  StartUnit();
  void* handle = OpenLocked();
  ServiceStandIn service(handle, path_);
  std::atomic<LLDError> stalled{0xFFFFFFFF};
  std::thread command = StartUnansweredCommand(handle, stalled);
  EXPECT_EQ(Control("unplug"), "ok");
  command.join();
  EXPECT_NE(stalled.load(), 0u);
  EXPECT_EQ(service.WaitFor(1).front(), std::make_pair(kRemoval, LLDError{0}));
  Control("resume");
  ASSERT_EQ(Control("replug"), "ok");
  EXPECT_EQ(service.WaitFor(2).back(), std::make_pair(kArrival, LLDError{0}));
  DriverOf(handle).m_ulCmdTimeout = 10000;
  EXPECT_EQ(Info(handle), 0u);
}

}  // namespace
}  // namespace rzd::lowdrv::test
