// Discovery of the model's units among the image-class interfaces of the device table.
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/scanner_enum.h"
#include "platform/devices.h"
#include "platform/text.h"
#include "platform/types.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

// The model header writes the image class as text (it lies below the platform); the texts name
// the platform's image interface class, and the device class key is that class's key.
TEST(ModelIdsTest, TheImageClassTextsNameThePlatformsImageClass) {
  EXPECT_EQ(std::string(kImageClassGuidText), FormatGuidA(GUID_DEVINTERFACE_IMAGE));
  EXPECT_EQ(std::u16string(kImageClassGuidTextW), FormatGuid(GUID_DEVINTERFACE_IMAGE));
  EXPECT_EQ(std::u16string(kImageClassKey),
            u"SYSTEM\\CurrentControlSet\\Control\\Class\\" + FormatGuid(GUID_DEVINTERFACE_IMAGE));
}

class ScannerEnumTest : public test::TempRoot {
 protected:
  static std::u16string AddUnit(uint16_t vendor, uint16_t product, const std::u16string& serial, uint32_t instance) {
    UsbImageDevice unit;
    unit.vendorId = vendor;
    unit.productId = product;
    unit.serialNumber = serial;
    unit.instance = instance;
    const DeviceEntry entry = MakeUsbImageDevice(unit);
    EXPECT_EQ(AddDevice(entry), ERROR_SUCCESS);
    return entry.interfacePath;
  }

  static std::vector<std::u16string> Find(uint32_t vendor, uint32_t product, BOOL* found = nullptr) {
    CScannerEnum scanners;
    scanners.m_ulVendorId = vendor;
    scanners.m_ulProductId = product;
    const BOOL result = scanners.FindScanners();
    if (found) *found = result;
    return scanners.m_Paths;
  }
};

TEST_F(ScannerEnumTest, EmptyClassFindsNothing) {
  BOOL found = TRUE;
  EXPECT_TRUE(Find(kModelUsbVendorId, kModelUsbProductId, &found).empty());
  EXPECT_FALSE(found);
  CScannerEnum scanners;
  uint32_t error = 0;
  std::u16string path;
  EXPECT_FALSE(scanners.GetDeviceInterfacePath(0, error, path));
  EXPECT_EQ(error, ERROR_NO_MORE_ITEMS);
}

TEST_F(ScannerEnumTest, MatchTable) {
  const std::u16string model1 = AddUnit(kModelUsbVendorId, kModelUsbProductId, u"SN0001", 1);
  const std::u16string model2 = AddUnit(kModelUsbVendorId, kModelUsbProductId, u"SN0002", 2);
  const std::u16string sibling = AddUnit(kModelUsbVendorId, 0x0999, u"SN0003", 3);
  const std::u16string padded = AddUnit(0x01A2, 0x0034, u"SN0004", 4);
  AddUnit(0x1234, kModelUsbProductId, u"SN0005", 5);
  // An interface of another class is not looked at.
  DeviceEntry other;
  other.classGuid = GUID_DEVINTERFACE_USB_DEVICE;
  other.interfacePath = u"\\\\?\\usb#vid_2e5a&pid_0148#sn0006#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  ASSERT_EQ(AddDevice(other), ERROR_SUCCESS);

  struct Case {
    uint32_t vendor;
    uint32_t product;
    std::vector<std::u16string> paths;
  };
  const Case cases[] = {
      {kModelUsbVendorId, kModelUsbProductId, {model1, model2}},
      {kModelUsbVendorId, 0xFFFF, {model1, model2, sibling}},       // any product of the vendor
      {0xFFFF, kModelUsbProductId, {}},                              // vendor 0xFFFF matches nothing
      {0xFFFF, 0xFFFF, {}},
      {0x1A2, 0x34, {padded}},                                       // "vid_01a2", "pid_0034"
      {0x1A2, 0x340, {}},
      {0x101A2, 0x10034, {padded}},                                  // only the low 16 bits count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "vendor " << c.vendor << " product " << c.product);
    BOOL found = FALSE;
    EXPECT_EQ(Find(c.vendor, c.product, &found), c.paths);
    EXPECT_EQ(found, c.paths.empty() ? FALSE : TRUE);
  }
}

TEST_F(ScannerEnumTest, UpperCaseTextsDoNotMatch) {
  CScannerEnum scanners;
  scanners.m_ulVendorId = 0x2E5A;
  scanners.m_ulProductId = 0x0148;
  EXPECT_TRUE(scanners.MatchDevicePath(u"\\\\?\\usb#vid_2e5a&pid_0148#x#{6bdd1fc6-810f-11d0-bec7-08002be2092f}"));
  EXPECT_FALSE(scanners.MatchDevicePath(u"\\\\?\\USB#VID_2E5A&PID_0148#X#{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"));
  EXPECT_FALSE(scanners.MatchDevicePath(u"\\\\?\\usb#vid_2E5A&pid_0148#x"));
  EXPECT_FALSE(scanners.MatchDevicePath(u"\\\\?\\usb#vid_2e5a#x"));
}

TEST_F(ScannerEnumTest, SecondCallStartsAfresh) {
  const std::u16string first = AddUnit(kModelUsbVendorId, kModelUsbProductId, u"SN0001", 1);
  CScannerEnum scanners;
  scanners.m_ulVendorId = kModelUsbVendorId;
  scanners.m_ulProductId = kModelUsbProductId;
  EXPECT_TRUE(scanners.FindScanners());
  EXPECT_TRUE(scanners.FindScanners());
  EXPECT_EQ(scanners.m_Paths, std::vector<std::u16string>({first}));
  // A unit that left is gone on the next call.
  ASSERT_EQ(RemoveDevice(first), ERROR_SUCCESS);
  EXPECT_FALSE(scanners.FindScanners());
  EXPECT_TRUE(scanners.m_Paths.empty());
}

}  // namespace
}  // namespace rzd::lowdrv
