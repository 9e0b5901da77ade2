// The base driver: error documents, resources, the device class key lookup, the stored
// background data, its two control codes, and the unit semaphore and wake-up event.
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/core/driver_names.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rzd::lowdrv {
namespace {

const std::u16string kPath = u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";

std::string Document(BSTR text) {
  Bstr owned = Bstr::Attach(text);
  return ToUtf8(owned.View());
}

void WriteClassKey(const std::u16string& sub, const std::u16string& symbolicName, const std::u16string& friendlyName) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(kImageClassKey) + u"\\" + sub, &key), ERROR_SUCCESS);
  if (!symbolicName.empty()) key.SetString(u"SymbolicName", symbolicName);
  if (!friendlyName.empty()) key.SetString(u"FriendlyName", friendlyName);
}

using DriverBaseTest = rzd::test::TempRoot;

TEST_F(DriverBaseTest, ErrorDocumentsCarryTheDriversTextsOrTheObjectsOwn) {
  CRZDBaseLLD base(kPath);
  CRZDREduzidLLD engine(kPath);
  struct Case {
    LLDError code;
    const char* text;
  };
  const Case own[] = {
      {2, "An item is jammed in the scanner."},
      {75, "The ADF cable is not securely plugged into the base of the scanner."},
      {0x8000, "Cannot connect to the scanner."},
      {0x8003, "An invalid device handle has been passed to the LLD."},
      {0x8008, "The scanner is in use by another application."},
      {0x800A, "The requested function is not implemented in the LLD."},
      {0x800C, "The LLD accepted the settings but at least one value was adjusted to an allowed value."},
  };
  for (const Case& c : own) {
    const std::string expected = "<Result><ErrorCode>" + std::to_string(c.code) + "</ErrorCode><Description>" +
                                 c.text + "</Description></Result>";
    EXPECT_EQ(Document(base.GetLastError(c.code)), expected);
    EXPECT_EQ(Document(engine.GetLastError(c.code)), expected);
  }
  // Other codes: the base knows none, the engine driver has the engine's texts.
  EXPECT_EQ(Document(base.GetLastError(0)),
            "<Result><ErrorCode>0</ErrorCode><Description>Unknown Error Code</Description></Result>");
  EXPECT_EQ(Document(engine.GetLastError(0)), "<Result><ErrorCode>0</ErrorCode><Description>OK</Description></Result>");
  EXPECT_EQ(ToUtf8(engine.GetLastErrorString(7)), ToUtf8(CReduzidInterface::ScannerErrorToText(7)));
  EXPECT_EQ(Document(engine.GetLastError(0x12345)),
            "<Result><ErrorCode>74565</ErrorCode><Description>Unknown Error Code</Description></Result>");
}

TEST_F(DriverBaseTest, XmlResourcesAreUtf16WithTheirMark) {
  Bstr description;
  ASSERT_TRUE(CRZDBaseLLD::GetXMLfromResources(reinterpret_cast<const void*>(&DriverResultText), 110, description.Out()));
  EXPECT_NE(description.View().find(u"<Scanner"), std::u16string_view::npos);
  EXPECT_NE(description.View().front(), u'\uFEFF');
  Bstr missing;
  EXPECT_FALSE(CRZDBaseLLD::GetXMLfromResources(reinterpret_cast<const void*>(&DriverResultText), 999, missing.Out()));
  EXPECT_FALSE(missing);
  EXPECT_FALSE(CRZDBaseLLD::GetXMLfromResources(reinterpret_cast<const void*>(&DriverResultText), 110, nullptr));
}

TEST_F(DriverBaseTest, TheDeviceClassKeyOfThePathGivesItsValues) {
  EXPECT_EQ(CRZDBaseLLD::FindDeviceRegistryValue(kPath, u"FriendlyName"), u"");  // no class key
  WriteClassKey(u"0000", u"", u"No symbolic name");
  WriteClassKey(u"0001", u"\\\\?\\usb#vid_2e5a&pid_0148#other#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", u"Other");
  WriteClassKey(u"0002", kPath, u"Quarx M48tz Scanner #2");
  EXPECT_EQ(CRZDBaseLLD::FindDeviceRegistryValue(kPath, u"FriendlyName"), u"Quarx M48tz Scanner #2");
  EXPECT_EQ(CRZDBaseLLD::FindDeviceRegistryValue(kPath, u"HAL_MODEL"), u"");
  // The path must match exactly.
  EXPECT_EQ(CRZDBaseLLD::FindDeviceRegistryValue(ToUpper(kPath), u"FriendlyName"), u"");

  CRZDBaseLLD base(kPath);
  EXPECT_EQ(base.m_strFriendlyName, u"Quarx M48tz Scanner #2");
  EXPECT_EQ(base.m_strTwainDSVersion, u"X, X, X, X");
}

TEST_F(DriverBaseTest, BackgroundDataIsHandedOutWhenStoredAndTheBufferHoldsIt) {
  CRZDBaseLLD base(kPath);
  uint8_t out[16] = {};
  uint32_t size = sizeof out;
  Bstr meta;
  EXPECT_EQ(base.GetBackgroundData(out, &size, meta.Out()), lld::kWrongSequence);

  base.m_Background = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  base.m_bstrBackgroundMeta = Bstr(u"<Result/>");
  size = 4;  // too small: the length is told
  EXPECT_EQ(base.GetBackgroundData(out, &size, meta.Out()), lld::kInvalidParameter);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(out[0], 0);
  size = sizeof out;
  EXPECT_EQ(base.GetBackgroundData(nullptr, &size, meta.Out()), lld::kInvalidParameter);
  EXPECT_EQ(base.GetBackgroundData(out, nullptr, meta.Out()), lld::kInvalidParameter);
  size = sizeof out;
  EXPECT_EQ(base.GetBackgroundData(out, &size, meta.Out()), 0u);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(out[9], 10);
  EXPECT_EQ(meta.View(), u"<Result/>");

  // Through its control code: a size pointer is required, and receives the length.
  EXPECT_EQ(base.DoControlCode(cc::kBackgroundData, nullptr, meta.Out(), nullptr, 0, out, nullptr),
            lld::kInvalidParameter);
  size = 2;
  EXPECT_EQ(base.DoControlCode(cc::kBackgroundData, nullptr, meta.Out(), nullptr, 0, out, &size),
            lld::kInvalidParameter);
  EXPECT_EQ(size, 10u);
}

TEST_F(DriverBaseTest, TheBaseAnswersTheFirmwareVersionAndNothingElse) {
  CRZDBaseLLD base(kPath);
  base.m_strFirmwareVersion = u"1.07";
  Bstr version;
  EXPECT_EQ(base.DoControlCode(cc::kFirmwareVersion, nullptr, version.Out(), nullptr, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(version.View(), u"1.07");
  for (uint32_t code : {cc::kLock, cc::kStatus, cc::kUnlock, 0xA0000012u}) {
    uint32_t word = 0;
    uint32_t size = 4;
    EXPECT_EQ(base.DoControlCode(code, nullptr, nullptr, &word, 4, &word, &size), lld::kNotImplemented);
  }
  uint8_t buffer[4];
  uint32_t size = sizeof buffer;
  BSTR meta = nullptr;
  EXPECT_EQ(base.Read(buffer, &size, &meta, &size), lld::kNotImplemented);
  EXPECT_EQ(base.OpenScanner(), lld::kNotImplemented);
}

TEST_F(DriverBaseTest, TheUnitSemaphoreIsOpenedFirstAndNeverKeptTakenByAClosedHandle) {
  CRZDBaseLLD base(kPath);
  base.m_strSemaphorePrefix = kModelSemaphorePrefix;
  // Another holder made it first: the object opens that one.
  ObjectResult<Semaphore> existing = Semaphore::Create(u"Global\\M48tzLLD_qm48tz000001", 1, 1);
  ASSERT_TRUE(existing);
  ASSERT_EQ(base.ReserveSemaphore(1000), 0u);
  EXPECT_TRUE(base.HoldsSemaphore());
  EXPECT_EQ(base.InstanceName(), u"qm48tz000001");
  EXPECT_EQ(existing.handle.Wait(0), WAIT_TIMEOUT);
  EXPECT_EQ(base.ReserveSemaphore(1000), 0u);  // held already: at once
  base.ReleaseScannerSemaphore();
  EXPECT_FALSE(base.HoldsSemaphore());
  base.ReleaseScannerSemaphore();  // nothing held: nothing given
  ASSERT_EQ(existing.handle.Wait(0), WAIT_OBJECT_0);

  // Taken by another: a time-out, and the handle is dropped.
  EXPECT_EQ(base.ReserveSemaphore(50), lld::kInUse);
  EXPECT_FALSE(base.m_hSemaphore);
  ASSERT_EQ(existing.handle.Release(), 0u);

  // A held count goes back with the handle.
  ASSERT_EQ(base.ReserveSemaphore(1000), 0u);
  base.CloseScannerSemaphore();
  EXPECT_EQ(existing.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(existing.handle.Release(), 0u);

  // Made when missing: one count at most.
  CRZDBaseLLD other(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000002#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  ASSERT_EQ(other.CreateScannerSemaphore(kModelSemaphorePrefix), 0u);
  ObjectResult<Semaphore> made = Semaphore::Open(u"Global\\M48tzLLD_qm48tz000002");
  ASSERT_TRUE(made);
  EXPECT_EQ(made.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(made.handle.Release(), 0u);
  EXPECT_EQ(made.handle.Release(), ERROR_TOO_MANY_POSTS);
}

TEST_F(DriverBaseTest, TheWakeupEventIsNamedAfterTheFriendlyName) {
  WriteClassKey(u"0000", kPath, u"Quarx M48tz Scanner #2");
  CRZDBaseLLD base(kPath);
  base.SetWakeupEvent();  // none yet: nothing happens
  ASSERT_EQ(base.OpenNamedEvent(u"Global\\M48tzLLD_WakeupTransaction"), 0u);
  ObjectResult<Event> wake = Event::Open(u"Global\\M48tzLLD_WakeupTransactionQuarx M48tz Scanner 2");
  ASSERT_TRUE(wake);
  EXPECT_EQ(wake.handle.Wait(0), WAIT_TIMEOUT);  // made not signalled
  base.SetWakeupEvent();
  EXPECT_EQ(wake.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(wake.handle.Wait(0), WAIT_TIMEOUT);  // auto-reset

  // A name taken by another kind of object gives no event.
  ObjectResult<Semaphore> clash = Semaphore::Create(u"Global\\ClashQuarx M48tz Scanner 2", 1, 1);
  ASSERT_TRUE(clash);
  EXPECT_EQ(base.OpenNamedEvent(u"Global\\Clash"), lld::kNoMemory);
}

}  // namespace
}  // namespace rzd::lowdrv
