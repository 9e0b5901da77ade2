// Open and close of a unit by the model driver, against the simulated unit in its own process:
// the command blocks the unit receives, the named objects, the unit states and GetStatus, and
// the open through the library's open code.
#include "driver_unit_fixture.h"

#include "api/device_open.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_process.h"
#include "lowdrv/core/driver_system.h"
#include "lowdrv/engine/command_lock.h"
#include "testsupport/eventually.h"

#include <cstring>

namespace rzd::lowdrv::test {
namespace {

// The new-set block that sends LCD string `number` with `text` (what SendLCDString sends).
std::string LcdStringData(uint16_t number, const std::string& text) {
  std::vector<uint8_t> block(265, 0);
  block[2] = 2;
  block[3] = 0x01;
  block[4] = 0x09;
  block[5] = static_cast<uint8_t>(number >> 8);
  block[6] = static_cast<uint8_t>(number & 0xFF);
  block[8] = static_cast<uint8_t>(text.size());
  std::memcpy(block.data() + 11, text.data(), text.size());
  std::string line = "data 265:";
  char hex[4];
  for (uint8_t b : block) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  return line;
}

// The blocks of the engine binding: test unit ready, then the inquiry in its two steps.
const std::vector<std::string> kBinding = {
    "new 12: E3 00 00 00 00 00 00 00 00 00 2C 01",
    "new 12: E2 00 00 00 00 00 00 00 00 00 05 00",
    "new 12: E2 00 00 00 00 00 00 00 00 00 A0 00",
};
// The configuration read: inquiry, the imprinter's inquiry, information, NVRAM data and ink,
// (the LCD string table), the NVRAM record.
const std::vector<std::string> kInquiry = {
    "new 12: E2 00 00 00 00 00 00 00 00 00 05 00",
    "new 12: E2 00 00 00 00 00 00 00 00 00 A0 00",
};
const std::vector<std::string> kImprinter = {
    "new 12: A8 00 00 02 00 00 00 00 00 00 47 00",
    "new 12: A8 00 00 02 01 00 00 00 00 00 47 00",
    "new 12: A8 00 00 02 0B 00 00 00 00 02 09 00",
    "new 12: A8 00 00 02 0F 00 00 00 00 00 09 00",
};
const std::vector<std::string> kLcdTable = {
    "new 12: A8 00 00 00 E0 00 00 00 00 00 14 00",
    "new 12: A8 00 00 00 E2 00 00 00 00 02 0F 00",
};
const std::vector<std::string> kNvram = {
    "new 12: A8 00 00 00 69 00 00 00 00 00 05 00",
    "new 12: A8 00 00 00 69 00 00 00 00 00 AC 00",
};
const char kSendLcdString[] = "new 12: AA 00 00 00 E2 00 00 00 00 01 09 00";

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The three version strings of the model, the first product installed as `firstVersion`.
std::vector<std::string> VersionStrings(const std::string& firstVersion) {
  return {kSendLcdString, LcdStringData(5001, firstVersion), kSendLcdString, LcdStringData(5002, "Not installed"),
          kSendLcdString, LcdStringData(5003, "Not installed")};
}

// Registers the first of the model's products as installed with `version`.
void InstallFirstProduct(const std::u16string& version) {
  const std::u16string packedProduct = u"0123456789ABCDEF0123456789ABCDEF";
  RegKey upgrade;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine,
                           std::u16string(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\") +
                               kModelProductUpgradeCodes[0],
                           &upgrade),
            ERROR_SUCCESS);
  ASSERT_EQ(upgrade.SetString(packedProduct, u""), ERROR_SUCCESS);
  RegKey product;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine,
                           u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + UnpackProductCode(packedProduct),
                           &product),
            ERROR_SUCCESS);
  ASSERT_EQ(product.SetString(u"DisplayVersion", version), ERROR_SUCCESS);
}

using DriverOpenTest = DriverUnitTest;

TEST_F(DriverOpenTest, FirstOpenReadsTheUnitAndShowsTheInstalledVersions) {
  StartUnit();
  InstallFirstProduct(u"4.2.0.17");
  TakeUnitLog();
  CriticalSection* const commandLock = &EngineCommandLock();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(TakeUnitLog(), Join({kBinding, kInquiry, kImprinter, kLcdTable, kNvram, VersionStrings("4.2.0.17")}));
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_EQ(driver.m_strFirmwareVersion, u"1.00");
  EXPECT_EQ(driver.ProductText(), u"M48tz Scanner   ");  // the inquiry's text as the unit pads it
  EXPECT_EQ(driver.m_strFriendlyName, kFriendlyName);
  EXPECT_EQ(driver.Settings()->m_strFriendlyNameA, "Quarx M48tz Scanner #2");  // for the Exif fields
  EXPECT_EQ(driver.m_strHalModel, u"M48tz");
  EXPECT_EQ(DriverOpenCount(), 1u);
  EXPECT_EQ(driver.CloseScanner(), 0u);
  EXPECT_EQ(driver.m_ulStatus, state::kClosed);
  EXPECT_EQ(DriverOpenCount(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  // The engine command lock outlives the last close: it is the same lock, and usable.
  EXPECT_EQ(&EngineCommandLock(), commandLock);
  ASSERT_TRUE(commandLock->TryEnter());
  commandLock->Leave();
}

TEST_F(DriverOpenTest, AnotherOpenOfTheProcessWhileTheUnitIsFreeReadsItAgainButNotTheStringTable) {
  StartUnit();
  CScannerLLD first(path_);
  ASSERT_EQ(first.OpenScanner(), 0u);
  TakeUnitLog();
  CScannerLLD second(path_);
  ASSERT_EQ(second.OpenScanner(), 0u);
  EXPECT_EQ(TakeUnitLog(),
            Join({kBinding, kInquiry, kImprinter, kNvram, VersionStrings("Not installed")}));
  EXPECT_EQ(DriverOpenCount(), 2u);
}

TEST_F(DriverOpenTest, AnotherOpenOfTheProcessWhileTheUnitIsHeldUsesTheStoredRecords) {
  StartUnit();
  CScannerLLD holder(path_);
  ASSERT_EQ(holder.OpenScanner(), 0u);
  const uint32_t timeout = 1000;
  ASSERT_EQ(holder.LockScanner(&timeout, sizeof timeout), 0u);
  TakeUnitLog();

  CScannerLLD second(path_);
  second.m_ulCmdTimeout = 300;  // the wait for the held unit
  ASSERT_EQ(second.OpenScanner(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(second.m_ulStatus, state::kOpen);
  EXPECT_FALSE(second.HoldsSemaphore());
  EXPECT_EQ(second.m_strFirmwareVersion, u"1.00");
  EXPECT_TRUE(second.m_bImprinterFound);
  // The settings were built from the stored records: the supported document is there.
  Bstr supported = Bstr::Attach(second.Settings()->GetSupported());
  EXPECT_NE(supported.View().find(u"QM48TZ000001"), std::u16string_view::npos);
  EXPECT_EQ(second.CloseScanner(), 0u);
  EXPECT_EQ(holder.m_ulStatus, state::kLocked);
  EXPECT_TRUE(holder.HoldsSemaphore());
}

TEST_F(DriverOpenTest, TheNamedObjectsCarryTheirExactNames) {
  StartUnit();
  const std::u16string semaphoreName = u"Global\\M48tzLLD_qm48tz000001";
  const std::u16string wakeupName = u"Global\\M48tzLLD_WakeupTransactionQuarx M48tz Scanner 2";
  const std::u16string pathLetters = u"usbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f";
  const std::u16string buttonName = u"Global\\" + pathLetters + u"_ButtonThreadEvent";
  const std::u16string oldDriverName = u"RORuz2006OZIDOD" + pathLetters;

  auto driver = std::make_unique<CScannerLLD>(path_);
  ASSERT_EQ(driver->OpenScanner(), 0u);
  {
    ObjectResult<Semaphore> semaphore = Semaphore::Open(semaphoreName);
    ASSERT_TRUE(semaphore);
    ObjectResult<Event> wakeup = Event::Open(wakeupName);
    ASSERT_TRUE(wakeup);
    ObjectResult<Event> buttons = Event::Open(buttonName);
    ASSERT_TRUE(buttons);
    ObjectResult<Event> oldDriver = Event::Open(oldDriverName);
    ASSERT_TRUE(oldDriver);
    // The old-driver event lives in the session namespace, not the global one.
    EXPECT_FALSE(Event::Open(u"Global\\" + oldDriverName));

    // Open: the unit is free, the open has woken the waiter, this process runs the buttons thread.
    EXPECT_EQ(semaphore.handle.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(semaphore.handle.Release(), 0u);
    EXPECT_EQ(wakeup.handle.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(buttons.handle.Wait(0), WAIT_TIMEOUT);
    EXPECT_TRUE(ButtonsThreadRunsHere());
    EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(oldDriver.handle.Set(), 0u);

    // Locked: the semaphore and the old-driver event are taken.
    const uint32_t timeout = 1000;
    ASSERT_EQ(driver->LockScanner(&timeout, sizeof timeout), 0u);
    EXPECT_EQ(semaphore.handle.Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_TIMEOUT);
    ASSERT_EQ(driver->UnlockScanner(), 0u);
    EXPECT_EQ(semaphore.handle.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(semaphore.handle.Release(), 0u);
  }
  // Closed and destroyed: nothing of the unit is left.
  driver.reset();
  EXPECT_EQ(Semaphore::Open(semaphoreName).error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Event::Open(wakeupName).error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Event::Open(buttonName).error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Event::Open(oldDriverName).error, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(ButtonsThreadRunsHere());
}

TEST_F(DriverOpenTest, GetStatusInEachState) {
  StartUnit();
  CScannerLLD driver(path_);
  EXPECT_EQ(driver.GetStatus(), state::kClosed);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  TakeUnitLog();
  EXPECT_EQ(driver.GetStatus(), state::kOpen);
  EXPECT_TRUE(TakeUnitLog().empty());

  const uint32_t timeout = 1000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  // Locked: one test unit ready decides.
  EXPECT_EQ(driver.GetStatus(), state::kLocked);
  EXPECT_EQ(TakeUnitLog(), std::vector<std::string>{kBinding[0]});
  Control("cover open");
  EXPECT_EQ(driver.GetStatus(), state::kOpen);
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);  // the probe changes nothing
  Control("cover close");
  TakeUnitLog();

  // Warming up, scanning and calibrating answer without the engine.
  for (uint32_t s : {state::kWarmingUp, state::kScanning, state::kCalibrating}) {
    driver.m_ulStatus = s;
    EXPECT_EQ(driver.GetStatus(), s);
  }
  EXPECT_TRUE(TakeUnitLog().empty());
  driver.m_ulStatus = state::kLocked;

  // The status code answers the same through the dispatcher.
  uint32_t status = 0;
  uint32_t size = sizeof status;
  EXPECT_EQ(driver.DoControlCode(cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size), 0u);
  EXPECT_EQ(status, state::kLocked);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(driver.CloseScanner(), 0u);
  EXPECT_EQ(driver.GetStatus(), state::kClosed);
}

TEST_F(DriverOpenTest, OpenAndCloseStateChecksAndThePageNumber) {
  StartUnit();
  CScannerLLD driver(path_);
  EXPECT_EQ(driver.CloseScanner(), lld::kWrongSequence);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(driver.OpenScanner(), lld::kWrongSequence);
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);

  const uint32_t seven = 7;
  EXPECT_EQ(driver.DoControlCode(cc::kSetPageNumber, nullptr, nullptr, const_cast<uint32_t*>(&seven), 4, nullptr,
                                 nullptr),
            0u);
  EXPECT_EQ(driver.PageNumber(), 7u);
  ASSERT_EQ(driver.CloseScanner(), 0u);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(driver.PageNumber(), 1u);
}

TEST_F(DriverOpenTest, ADeviceCodeReopensAClosedUsbHandleFirstButTheServiceNotificationNever) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  const uint32_t timeout = 1000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  ASSERT_TRUE(driver.m_ScannerDevice.IsOpen());
  uint32_t status = 0;
  uint32_t size = sizeof status;

  // The service's notification code runs without the handle.
  driver.m_ScannerDevice.CloseDevice();
  const uint32_t notification = 0x4004;
  driver.DoControlCode(cc::kSessionStateChanged, nullptr, nullptr, const_cast<uint32_t*>(&notification),
                       sizeof notification, nullptr, nullptr);
  EXPECT_FALSE(driver.m_ScannerDevice.IsOpen());
  // With the reopen switch clear nothing reopens it.
  driver.m_bReopen = 0;
  EXPECT_EQ(driver.DoControlCode(cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size), 0u);
  EXPECT_FALSE(driver.m_ScannerDevice.IsOpen());
  EXPECT_EQ(status, state::kOpen);  // the probe found no unit
  TakeUnitLog();

  // Any other device code reopens the handle first, and the engine answers through it.
  driver.m_bReopen = 1;
  size = sizeof status;
  EXPECT_EQ(driver.DoControlCode(cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size), 0u);
  EXPECT_TRUE(driver.m_ScannerDevice.IsOpen());
  EXPECT_EQ(status, state::kLocked);
  EXPECT_EQ(TakeUnitLog(), std::vector<std::string>{kBinding[0]});

  // A closed object is never reopened.
  ASSERT_EQ(driver.CloseScanner(), 0u);
  ASSERT_FALSE(driver.m_ScannerDevice.IsOpen());
  size = sizeof status;
  EXPECT_EQ(driver.DoControlCode(cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size), 0u);
  EXPECT_FALSE(driver.m_ScannerDevice.IsOpen());
  EXPECT_EQ(status, state::kClosed);
}

TEST_F(DriverOpenTest, TheOpenCodeMakesTheModelDriverOfAnOnlineUnit) {
  StartUnit();
  void* handle = nullptr;
  uint32_t size = sizeof handle;
  Bstr error;
  // The service has not announced the unit: it cannot be opened.
  EXPECT_FALSE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle, &size, error.Out()));
  EXPECT_EQ(handle, nullptr);

  const std::optional<std::u16string> online = DeviceOnlineEventName(path_);
  ASSERT_TRUE(online);
  EXPECT_EQ(*online, u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON");
  ObjectResult<Event> event = Event::Create(*online, true, true);
  ASSERT_TRUE(event);
  size = sizeof handle;
  ASSERT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle, &size, error.Out()));
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(dynamic_cast<CScannerLLD*>(static_cast<IDriverObject*>(handle)), nullptr);

  uint32_t status = 0;
  uint32_t statusSize = sizeof status;
  Bstr statusError;
  EXPECT_TRUE(::Control(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &statusSize, statusError.Out()));
  EXPECT_EQ(status, state::kOpen);
  EXPECT_EQ(ToUtf8(statusError.View()), "<Result><ErrorCode>0</ErrorCode><Description>OK</Description></Result>");

  // An unknown device code of the driver object.
  Bstr unknownError;
  EXPECT_FALSE(::Control(handle, 0x80000003, nullptr, nullptr, nullptr, 0, nullptr, nullptr, unknownError.Out()));
  EXPECT_EQ(ToUtf8(unknownError.View()),
            "<Result><ErrorCode>32778</ErrorCode><Description>The requested function is not implemented in the "
            "LLD.</Description></Result>");

  Bstr closeError;
  EXPECT_TRUE(::Control(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, closeError.Out()));
  EXPECT_EQ(DriverOpenCount(), 0u);
}

// What the fixture relies on: the unit it starts ends with the process that started it, so no
// unit is left behind by a test process that a sanitizer or a crash ended.
TEST_F(DriverOpenTest, TheUnitEndsWithTheProcessItWatches) {
  path_ = ModelUnitPath();
  NamedEvent("hold");
  StartProbe({"wait", "hold"});
  std::optional<ChildProcess> unit =
      ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine",
                          {"--instance", "3", "--serial", kSerial, "--parent-pid", std::to_string(probes_[0].Pid())});
  ASSERT_TRUE(unit);
  ASSERT_TRUE(rzd::test::Eventually([&] { return FindDevice(path_).has_value(); }, std::chrono::seconds(30)));

  Event(events_[0]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(unit->Wait(30000), 0);  // stopped as by SIGTERM
  EXPECT_FALSE(FindDevice(path_));  // and its arrival withdrawn

  // A process already gone: the unit does not start.
  std::optional<ChildProcess> late =
      ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine",
                          {"--instance", "4", "--parent-pid", std::to_string(probes_[0].Pid())});
  ASSERT_TRUE(late);
  EXPECT_EQ(late->Wait(30000), 1);
  EXPECT_FALSE(FindDevice(path_));
}

}  // namespace
}  // namespace rzd::lowdrv::test
