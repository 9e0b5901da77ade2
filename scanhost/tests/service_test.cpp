// Copies of the scanhost program run under the service control manager, driven through rzd-sc:
// against the real driver library and rzd-engine, and against the fake driver where the test
// shows the service's own logic.
#include "fake_driver_script.h"
#include "hal_control.h"
#include "scanner_fixture.h"
#include "service_fixture.h"

#include "scanhost/instance_ids.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/core/api.h"
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/unit_names.h"
#include "platform/com.h"
#include "platform/com_remote.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/service.h"
#include "platform/session.h"

namespace rzd::scanhost::test {
namespace {

constexpr char16_t kService[] = u"scanhost_0003_7";

ServiceRunStatus Status(std::u16string_view name = kService) {
  ServiceRunStatus status;
  QueryServiceRunStatus(name, &status);
  return status;
}

bool EventSignalled(const std::u16string& path) {
  ObjectResult<Event> online = Event::Open(*lowdrv::DeviceOnlineEventName(path));
  return online && online.handle.Wait(0) == WAIT_OBJECT_0;
}

class ServiceTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    ASSERT_EQ(RegisterRzdHalProxyStub(), S_OK);
  }
  // A copy for unit 0003, instance 7, registered as a service.
  void InstallService(bool fakeDriver) {
    const std::filesystem::path copy = InstallCopy("0003", 7, fakeDriver);
    ASSERT_EQ(Run(copy, {"-Service"}), 0);
    ASSERT_TRUE(ServiceRecordExists(kService));
  }
  // The fake driver's unit in the device table (no rzd-engine needed).
  static void AddFakeUnit() {
    UsbImageDevice unit;
    unit.vendorId = lowdrv::kModelUsbVendorId;
    unit.productId = lowdrv::kModelUsbProductId;
    unit.serialNumber = FromUtf8(kSerial);
    unit.instance = 3;
    unit.friendlyName = lowdrv::kModelFriendlyNameW;
    ASSERT_EQ(AddDevice(MakeUsbImageDevice(unit)), ERROR_SUCCESS);
  }
  ComInit com_{COINIT_MULTITHREADED};
};

TEST_F(ServiceTest, StartsAndStopsThroughRzdScAndFollowsTheUnitsUnplugAndReplug) {
  StartUnit(kSerial, 3);
  WriteClassKey("0003", UnitPath());
  InstallService(false);

  ASSERT_EQ(Sc({"start", "scanhost_0003_7"}), 0);
  EXPECT_EQ(Status().state, SERVICE_RUNNING);
  EXPECT_TRUE(EventSignalled(UnitPath())) << "the unit is present";

  ASSERT_EQ(UnitControl(3, "unplug").rfind("ok", 0), 0u);
  EXPECT_TRUE(Eventually([] { return !EventSignalled(UnitPath()); })) << "the removal resets the event";
  ASSERT_EQ(UnitControl(3, "replug").rfind("ok", 0), 0u);
  EXPECT_TRUE(Eventually([] { return EventSignalled(UnitPath()); })) << "the arrival sets it";
  EXPECT_TRUE(Eventually([] { return ClassDword("0003", u"Remote") == 0u; }));
  EXPECT_EQ(ToUtf8(ClassValue("0003", u"SerialNumber")), kSerial);

  ASSERT_EQ(Sc({"stop", "scanhost_0003_7"}), 0);
  EXPECT_EQ(Status().state, SERVICE_STOPPED);
  EXPECT_EQ(Status().exitCode, 0u);
  EXPECT_EQ(Sc({"query", "scanhost_0003_7"}), 0);
}

TEST_F(ServiceTest, AFailedStartReportsStoppedWithItsExitCode) {
  AddFakeUnit();
  WriteClassKey("0003", UnitPath());
  WriteClassKey("0004", UnitPath("QM48TZ000004"));
  InstallService(true);
  // Another copy of instance 7 serves the class already.
  ASSERT_EQ(Run(InstallCopy("0004", 7, true), {"-Service"}), 0);
  ASSERT_EQ(Sc({"start", "scanhost_0004_7"}), 0);
  ASSERT_EQ(Status(u"scanhost_0004_7").state, SERVICE_RUNNING);

  EXPECT_EQ(Sc({"start", "scanhost_0003_7"}), 0);
  ASSERT_EQ(WaitForServiceState(kService, SERVICE_STOPPED, 60000), ERROR_SUCCESS);
  EXPECT_EQ(Status().exitCode, static_cast<uint32_t>(CO_E_OBJISREG)) << "the class is served elsewhere";
}

TEST_F(ServiceTest, PowerAndSessionEventsReachTheDriver) {
  AddFakeUnit();
  WriteClassKey("0003", UnitPath());
  InstallService(true);
  ASSERT_EQ(Sc({"start", "scanhost_0003_7"}), 0);
  ASSERT_TRUE(WaitForFakeCalls(kOpenCode, 1)) << "the service's own object opens the present unit";

  // A client's object, opened.
  ComPtr<IRZDHAL> hal;
  ASSERT_EQ(CoCreateInstance(kInstanceClasses[7], nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
  ASSERT_EQ(ControlWithValue(hal.Get(), 14, 0), S_OK);
  ASSERT_TRUE(WaitForFakeCalls(kOpenCode, 2));

  EXPECT_EQ(Sc({"power", "suspend"}), 0);
  EXPECT_EQ(Sc({"power", "resume"}), 0);
  EXPECT_EQ(Sc({"session", "lock", "1"}), 0);
  // The service's own object redraws the LCD screens after each open, under the open lock (so
  // before the client's open); its button polls run on their own time and are left out.
  std::vector<std::string> expected;
  auto add = [&](std::vector<std::string> calls) { expected.insert(expected.end(), calls.begin(), calls.end()); };
  add({"0x48000004 -"});                                            // the service's object
  add(NineLcdUploads());
  add({"0x48000004 -"});                                            // the client's
  add({"0x94000018 0x8024", "0x80000005 -", "0x94000018 0x4004"});  // suspend
  add({"0x48000004 -"});
  add(NineLcdUploads());
  add({"0x94000018 0x4112", "0x94000018 0x4006"});                  // resume
  add({"0x94000018 0x7"});                                          // session lock
  EXPECT_EQ(FakeCallSequenceWithoutPolls(), expected);
  hal.Reset();
  ASSERT_EQ(Sc({"stop", "scanhost_0003_7"}), 0);
}

TEST_F(ServiceTest, LockAnswersBusyWhileAnotherProgramHoldsTheUnitOrTheCallerLeftTheConsole) {
  StartUnit(kSerial, 3);
  WriteClassKey("0003", UnitPath());
  InstallService(false);
  ASSERT_EQ(Sc({"start", "scanhost_0003_7"}), 0);

  ComPtr<IRZDHAL> hal;
  ASSERT_EQ(CoCreateInstance(kInstanceClasses[7], nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
  const LONG pid = static_cast<LONG>(CurrentProcessId());
  ASSERT_EQ(ControlWithValue(hal.Get(), 35, static_cast<uint32_t>(pid)), S_OK);
  ASSERT_EQ(ControlWithValue(hal.Get(), 14, 0), S_OK);

  // This process opens and locks the unit through the driver library itself.
  std::unique_ptr<Module> driver = Module::Load(RZD_REAL_DRIVER);
  ASSERT_TRUE(driver);
  auto control = driver->Bind<ControlFunction>("Control");
  void* handle = nullptr;
  uint32_t size = sizeof handle;
  Bstr error;
  ASSERT_TRUE(control(nullptr, 0x48000004, UnitPath().c_str(), nullptr, nullptr, 0, &handle, &size, error.Out()));
  uint32_t timeout = 5000;
  ASSERT_TRUE(control(handle, 0x90000001, nullptr, nullptr, &timeout, sizeof timeout, nullptr, nullptr, error.Out()));

  LONG status = -1;
  EXPECT_EQ(hal->LockScanner(pid, &status, 1000), kHalBusy);
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(control(handle, 0x80000002, nullptr, nullptr, nullptr, 0, nullptr, nullptr, error.Out()));
  ASSERT_TRUE(control(handle, 0x80000005, nullptr, nullptr, nullptr, 0, nullptr, nullptr, error.Out()));
  EXPECT_EQ(hal->LockScanner(pid, &status, 5000), S_OK);
  EXPECT_EQ(hal->UnlockScanner(&status), S_OK);

  // The console goes to another session: this caller is outside it.
  ASSERT_EQ(Sc({"session", "console-connect", "2"}), 0);
  EXPECT_EQ(hal->LockScanner(pid, &status, 1000), kHalBusy);
  hal.Reset();
  ASSERT_EQ(Sc({"stop", "scanhost_0003_7"}), 0);
}

}  // namespace
}  // namespace rzd::scanhost::test
