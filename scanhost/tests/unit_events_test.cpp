// The unit's serial number, found among units of one model, and the service module's handling of
// device, power and session events, in this process against the fake driver.
#include "fake_driver_script.h"
#include "scanner_fixture.h"
#include "serial/usb_serial.h"
#include "service/device_event_record.h"
#include "service/service_module.h"

#include "scanhost/instance_ids.h"

#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/unit_names.h"
#include "platform/devices.h"
#include "platform/kernel.h"


namespace rzd::scanhost::test {
namespace {

std::u16string DriverKey(const char16_t* subkey) { return std::u16string(lowdrv::kImageClassGuidTextW) + u"\\" + subkey; }

void AddUnit(const std::string& serial, uint32_t instance, uint16_t vendor = lowdrv::kModelUsbVendorId) {
  UsbImageDevice unit;
  unit.vendorId = vendor;
  unit.productId = lowdrv::kModelUsbProductId;
  unit.serialNumber = FromUtf8(serial);
  unit.instance = instance;
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(unit)), ERROR_SUCCESS);
}

TEST(UsbIdsTest, VendorAndProductIdsAreReadFromAPath) {
  struct Case {
    const char16_t* path;
    std::optional<UsbIds> ids;
  };
  const Case cases[] = {
      {u"\\\\?\\usb#vid_2e5a&pid_0148#qm1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", UsbIds{0x2E5A, 0x0148}},
      {u"USB\\VID_2E5A&PID_0148\\QM1", UsbIds{0x2E5A, 0x0148}},
      {u"\\\\?\\usb#Vid_04c5&PiD_1f&mi_00#x", UsbIds{0x04C5, 0x001F}},
      {u"vid_12345&pid_0148", std::nullopt},  // five hex digits
      {u"vid_&pid_0148", std::nullopt},
      {u"vid_2e5a_pid_0148", std::nullopt},
      {u"pid_0148", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(ParseUsbIds(c.path), c.ids);
  }
}

using SerialNumberTest = rzd::test::TempRoot;

TEST_F(SerialNumberTest, TwoUnitsOfOneModelEachFindTheirOwnSerialNumber) {
  AddUnit("QM48TZ000003", 3);
  AddUnit("QM48TZ000004", 4);
  AddUnit("OTHER0005", 5, 0x1234);  // another maker's device
  AddUnit("", 6);                   // a unit without a serial number
  const UsbIds model{lowdrv::kModelUsbVendorId, lowdrv::kModelUsbProductId};
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, DriverKey(u"0003"))), "QM48TZ000003");
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, DriverKey(u"0004"))), "QM48TZ000004");
  // The wanted key may come in lower case; device keys are upper case.
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, ToLower(DriverKey(u"0004")))), "QM48TZ000004");
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, DriverKey(u"0005"))), "") << "other ids";
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, DriverKey(u"0006"))), "") << "no serial number";
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, DriverKey(u"0007"))), "") << "no such unit";
  EXPECT_EQ(ToUtf8(LookUpUsbSerialNumber(model, u"")), "");
}

// A device-interface broadcast of the image class for `path`.
std::vector<uint8_t> Broadcast(const std::u16string& path, const GUID& classGuid = GUID_DEVINTERFACE_IMAGE) {
  return service_internal::DeviceInterfaceRecord(classGuid, path);
}

class HandlerTest : public ScannerTest {
 protected:
  // The module of unit 0004 (the second of two units), with its device class key.
  void MakeModule() {
    AddUnit("QM48TZ000003", 3);
    AddUnit("QM48TZ000004", 4);
    WriteClassKey("0003", UnitPath("QM48TZ000003"));
    WriteClassKey("0004", UnitPath("QM48TZ000004"));
    StartupValues values;
    values.name = {u"scanhost_0004_1", u"0004", 1};
    values.halClsid = kInstanceClasses[1];
    values.appId = kInstanceAppIds[1];
    values.driverFileName = FromUtf8(RZD_FAKE_DRIVER);
    values.symbolicName = UnitPath("QM48TZ000004");
    values.classKeyPath = lowdrv::kImageClassKey;
    values.classKeyPath.append(u"\\0004");
    module_ = std::make_unique<ServiceModule>(values);
  }
  void TearDown() override {
    module_.reset();
    ScannerTest::TearDown();
  }
  uint32_t Device(uint32_t type, const std::u16string& path) {
    std::vector<uint8_t> record = Broadcast(path);
    return module_->HandlerEx(SERVICE_CONTROL_DEVICEEVENT, type, record.data());
  }
  bool Online() const { return module_->DeviceOnlineEvent().Wait(0) == WAIT_OBJECT_0; }

  std::unique_ptr<ServiceModule> module_;
};

TEST_F(HandlerTest, TheOwnUnitsArrivalRecordsItsSerialNumberAndOnlyARemovalTakesItOffline) {
  MakeModule();
  ASSERT_TRUE(module_->CreateDeviceOnlineEvent());
  EXPECT_TRUE(Online()) << "the unit is present at start";
  // A failed query-remove leaves the unit present.
  EXPECT_EQ(Device(0x8002, UnitPath("QM48TZ000004")), 0u);
  EXPECT_TRUE(Online());
  EXPECT_EQ(Device(0x8004, UnitPath("QM48TZ000004")), 0u);
  EXPECT_FALSE(Online());
  // Another unit's arrival is only forwarded.
  EXPECT_EQ(Device(0x8000, UnitPath("QM48TZ000003")), 0u);
  EXPECT_FALSE(Online());
  EXPECT_EQ(ClassValue("0004", u"SerialNumber"), u"");
  EXPECT_EQ(Device(0x8000, UnitPath("QM48TZ000004")), 0u);
  EXPECT_TRUE(Online());
  EXPECT_EQ(ToUtf8(ClassValue("0004", u"SerialNumber")), "QM48TZ000004") << "its own, not the other unit's";
  EXPECT_EQ(ClassDword("0004", u"Remote"), 0u);
  // A unit no serial number is found for counts as remote; the recorded number stays.
  ASSERT_EQ(RemoveDevice(UnitPath("QM48TZ000004")), ERROR_SUCCESS);
  module_->OwnUnitArrived();
  EXPECT_EQ(ClassDword("0004", u"Remote"), 1u);
  EXPECT_EQ(ToUtf8(ClassValue("0004", u"SerialNumber")), "QM48TZ000004");
  // The event's name is the one the driver looks for.
  EXPECT_TRUE(Event::Open(*lowdrv::DeviceOnlineEventName(UnitPath("QM48TZ000004"))));
}

TEST_F(HandlerTest, ControlsAnswerAsTheServiceManagerExpects) {
  MakeModule();
  EXPECT_EQ(module_->HandlerEx(SERVICE_CONTROL_PAUSE, 0, nullptr), 0u);
  EXPECT_EQ(module_->HandlerEx(SERVICE_CONTROL_CONTINUE, 0, nullptr), 0u);
  EXPECT_EQ(module_->HandlerEx(SERVICE_CONTROL_INTERROGATE, 0, nullptr), 0u);
  for (uint32_t control = 6; control <= 10; ++control) {
    EXPECT_EQ(module_->HandlerEx(control, 0, nullptr), ERROR_CALL_NOT_IMPLEMENTED) << control;
  }
  EXPECT_EQ(module_->HandlerEx(200, 0, nullptr), ERROR_CALL_NOT_IMPLEMENTED);
  // A device event without data, or of another class, names no unit.
  EXPECT_EQ(module_->HandlerEx(SERVICE_CONTROL_DEVICEEVENT, 0x8000, nullptr), 0u);
  std::vector<uint8_t> otherClass = Broadcast(UnitPath("QM48TZ000004"), GUID_DEVINTERFACE_USB_DEVICE);
  EXPECT_EQ(module_->HandlerEx(SERVICE_CONTROL_DEVICEEVENT, 0x8000, otherClass.data()), 0u);
  EXPECT_EQ(ClassValue("0004", u"SerialNumber"), u"");
}

TEST_F(HandlerTest, PowerAndSessionEventsReachEveryClientsDriverHandle) {
  MakeModule();
  std::shared_ptr<CRZDHALScannerBase> client = module_->AddClient(std::nullopt)->Get();
  ASSERT_EQ(Code(*client, 14), S_OK);
  const std::pair<uint32_t, uint32_t> events[] = {
      {SERVICE_CONTROL_POWEREVENT, PBT_APMSUSPEND},      {SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMECRITICAL},
      {SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMEAUTOMATIC}, {SERVICE_CONTROL_POWEREVENT, PBT_APMBATTERYLOW},
      {SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOCK},  {SERVICE_CONTROL_SESSIONCHANGE, WTS_REMOTE_CONNECT},
      {SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF},
  };
  for (const auto& [control, type] : events) {
    WTSSESSION_NOTIFICATION session{sizeof(WTSSESSION_NOTIFICATION), 1};
    EXPECT_EQ(module_->HandlerEx(control, type, &session), 0u);
  }
  EXPECT_EQ(FakeCallSequence(), (std::vector<std::string>{"0x48000004 -", "0x94000018 0x4004", "0x94000018 0x4006",
                                                          "0x94000018 0x4012", "0x94000018 0x7", "0x94000018 0x6"}));
}

}  // namespace
}  // namespace rzd::scanhost::test
