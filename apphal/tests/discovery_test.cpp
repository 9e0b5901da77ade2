// Discovery of the installed unit, the device path, and the friendly-name list with the
// numbered units' profiles.
#include "apphal/m48tz_scanner.h"
#include "testsupport/temp_root.h"
#include "unit_fixture.h"

#include <fstream>
#include <sstream>

namespace rzd::apphal::test {
namespace {

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

class DiscoveryTest : public rzd::test::TempRoot {
 protected:
  ComPtr<CM48tz_Scanner> scanner_ = MakeComObject<CM48tz_Scanner>();
};

TEST_F(DiscoveryTest, TheInstalledUnitIsFoundWithItsValues) {
  UnitSetup unit;
  unit.instance = 3;
  const std::u16string keyPath = InstallUnit(unit);
  LONG status = 7;
  ASSERT_EQ(scanner_->IsInstalled(&status), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(scanner_->DeviceKeyPath(), keyPath);
  EXPECT_EQ(scanner_->DataSourcePath(), u"/opt/twain/rzdtwainds.so");
  EXPECT_EQ(scanner_->InprocClsid(), kInprocClsidText);
  EXPECT_EQ(scanner_->HalClsid(), kHalClsidText);
  EXPECT_EQ(scanner_->DevicePath(), u"\\\\?\\usb#vid_2e5a&pid_0148#qx48a0001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(scanner_->DiscoveryWaits(), 0);
  EXPECT_FALSE(scanner_->NetworkUnit());
  EXPECT_EQ(scanner_->IsInstalled(nullptr), S_OK);  // Status may be left out
}

TEST_F(DiscoveryTest, NoUnitNoMatch) {
  struct Case {
    const char* name;
    UnitSetup unit;
  } cases[] = {
      {"another maker", [] { UnitSetup u; u.vendorId = 0x04B8; return u; }()},
      {"another model", [] { UnitSetup u; u.productId = 0x0149; return u; }()},
      {"not started", [] { UnitSetup u; u.started = false; return u; }()},
      {"another friendly name", [] { UnitSetup u; u.friendlyName = u"Quarx M48tz Scanner #2"; return u; }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rzd::test::ScopedRoot root;
    InstallUnit(c.unit);
    ComPtr<CM48tz_Scanner> scanner = MakeComObject<CM48tz_Scanner>();
    LONG status = 7;
    ASSERT_EQ(scanner->IsInstalled(&status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(scanner->DataSourcePath().empty());
  }
  LONG status = 7;
  ASSERT_EQ(scanner_->IsInstalled(&status), S_OK);  // an empty device table
  EXPECT_EQ(status, 0);
}

TEST_F(DiscoveryTest, ForeignDevicesAreLeftWithoutWaiting) {
  // A device of another maker whose key has no name yet is not waited for.
  UnitSetup foreign;
  foreign.vendorId = 0x04B8;
  foreign.serial = u"OTHER1";
  foreign.instance = 0;
  foreign.friendlyName.reset();
  InstallUnit(foreign);
  UnitSetup ours;
  ours.instance = 1;
  InstallUnit(ours);
  LONG status = 0;
  ASSERT_EQ(scanner_->IsInstalled(&status), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(scanner_->DeviceKeyPath(), ClassKeyPath(1));
  EXPECT_EQ(scanner_->DiscoveryWaits(), 0);
}

TEST_F(DiscoveryTest, AUnitWithoutItsServiceClassIsFoundAfterWaiting) {
  UnitSetup unit;
  unit.halClsid.reset();
  InstallUnit(unit);
  LONG status = 0;
  ASSERT_EQ(scanner_->IsInstalled(&status), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(scanner_->DataSourcePath(), u"/opt/twain/rzdtwainds.so");
  EXPECT_TRUE(scanner_->HalClsid().empty());
  EXPECT_EQ(scanner_->DiscoveryWaits(), kDiscoveryReads - 1);
}

TEST_F(DiscoveryTest, LongValuesAreCutToTheirBuffer) {
  UnitSetup unit;
  unit.dataSourcePath = std::u16string(300, u'x');
  InstallUnit(unit);
  LONG status = 0;
  ASSERT_EQ(scanner_->IsInstalled(&status), S_OK);
  EXPECT_EQ(scanner_->DataSourcePath(), std::u16string(kRegistryTextChars - 1, u'x'));
}

TEST(DevicePath, FromTheSymbolicName) {
  struct Case {
    std::u16string symbolic;
    std::u16string path;
  } cases[] = {
      {u"\\??\\USB#VID_2E5A&PID_0148#QX48A0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
       u"\\\\?\\usb#vid_2e5a&pid_0148#qx48a0001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}"},
      {u"\\??\\usb#vid_2e5a&pid_0148#7&1&1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}",
       u"\\\\?\\usb#vid_2e5a&pid_0148#7&1&1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}"},
      {u"\\??\\HID#VID_2E5A", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(DevicePathFromSymbolicName(c.symbolic), c.path);
}

TEST_F(DiscoveryTest, TheFriendlyNumberFindsTheNumberedUnit) {
  InstallUnit(UnitSetup{});
  UnitSetup second;
  second.serial = u"QX48A0002";
  second.instance = 1;
  second.friendlyName = u"Quarx M48tz Scanner #2";
  second.dataSourcePath = u"/opt/twain/second.so";
  second.dfdSkip = 1;
  InstallUnit(second);

  ZQSCANINFO info = ZqScanInfoDefaults();
  _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
  info.Value = 2;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_SET_FRIENDLY_NUMBER, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
  EXPECT_EQ(BstrView(scanner_->FriendlyNameBstr()), u"Quarx M48tz Scanner #2");
  EXPECT_EQ(scanner_->DataSourcePath(), u"/opt/twain/second.so");
  // DFD_Skip 1: the double-feed recovery stays offered.
  EXPECT_NE(info.SupportedDataTypes & ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY, 0);

  info.Value = 0;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_SET_FRIENDLY_NUMBER, &info, &status), S_OK);
  EXPECT_EQ(BstrView(scanner_->FriendlyNameBstr()), u"Quarx M48tz Scanner");
  EXPECT_EQ(scanner_->DataSourcePath(), u"/opt/twain/rzdtwainds.so");
  // No DFD_Skip: the bit goes, in the caller's record and in the defaults.
  EXPECT_EQ(info.SupportedDataTypes & ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY, 0);
  _ZQSCANINFO* defaults = nullptr;
  ASSERT_EQ(scanner_->GetDefaults(&defaults), S_OK);
  EXPECT_EQ(defaults->SupportedDataTypes & ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY, 0);
  CoTaskMemFree(defaults);
}

TEST_F(DiscoveryTest, TheListNamesEveryUnitAndCopiesProfiles) {
  WriteFile(ProfilePath(u"Quarx M48tz Scanner"), "base profile");
  InstallUnit(UnitSetup{});
  UnitSetup second;
  second.serial = u"QX48A0002";
  second.instance = 1;
  second.friendlyName = u"Quarx M48tz Scanner #2";
  InstallUnit(second);
  UnitSetup foreign;
  foreign.vendorId = 0x04B8;
  foreign.serial = u"OTHER";
  foreign.instance = 2;
  foreign.friendlyName = u"Other Scanner #3";
  InstallUnit(foreign);

  ZQSCANINFO info = ZqScanInfoDefaults();
  _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_PUT_LIST_IN_FRIENDLY_NAME, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
  BSTR list = nullptr;
  ASSERT_EQ(scanner_->get_FriendlyName(&list), S_OK);
  EXPECT_EQ(BstrView(list), u"Quarx M48tz Scanner:Quarx M48tz Scanner #2");
  SysFreeString(list);
  EXPECT_EQ(FileText(ProfilePath(u"Quarx M48tz Scanner #2")), "base profile");
  EXPECT_FALSE(std::filesystem::exists(ProfilePath(u"Other Scanner #3")));
}

// The profile copy of a numbered unit.
TEST_F(DiscoveryTest, TheProfileCopy) {
  struct Case {
    const char* name;
    std::u16string friendlyName;
    std::optional<uint32_t> uninstalled;
    std::optional<std::string> existing;  // the unit's profile before the list is built
    bool baseThere;
    std::optional<std::string> after;     // the unit's profile afterwards
  } cases[] = {
      {"copied", u"Quarx M48tz Scanner #2", std::nullopt, std::nullopt, true, "base"},
      {"Uninstalled 0", u"Quarx M48tz Scanner #2", 0u, std::nullopt, true, "base"},
      {"uninstalled unit", u"Quarx M48tz Scanner #2", 1u, std::nullopt, true, std::nullopt},
      {"kept", u"Quarx M48tz Scanner #2", std::nullopt, "own", true, "own"},
      {"no base profile", u"Quarx M48tz Scanner #2", std::nullopt, std::nullopt, false, std::nullopt},
      {"not numbered", u"Quarx M48tz Scanner", std::nullopt, std::nullopt, true, "base"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rzd::test::ScopedRoot root;
    if (c.baseThere) WriteFile(ProfilePath(u"Quarx M48tz Scanner"), "base");
    if (c.existing) WriteFile(ProfilePath(c.friendlyName), *c.existing);
    UnitSetup unit;
    unit.friendlyName = c.friendlyName;
    unit.uninstalled = c.uninstalled;
    InstallUnit(unit);
    ComPtr<CM48tz_Scanner> scanner = MakeComObject<CM48tz_Scanner>();
    scanner->BuildProfileList();
    EXPECT_EQ(BstrView(scanner->FriendlyNameBstr()), c.friendlyName);
    if (c.after) {
      EXPECT_EQ(FileText(ProfilePath(c.friendlyName)), *c.after);
    } else {
      EXPECT_FALSE(std::filesystem::exists(ProfilePath(c.friendlyName)));
    }
  }
}

TEST_F(DiscoveryTest, NamesThatCannotNameAFileGetNoProfile) {
  WriteFile(ProfilePath(u"Quarx M48tz Scanner"), "base");
  for (const char16_t* name : {u"..\\..\\evil #2", u"a/b #2", u"#..", u"x #2\\"}) {
    EXPECT_FALSE(IsProfileFileName(name));
  }
  EXPECT_TRUE(IsProfileFileName(u"Quarx M48tz Scanner #2"));
  UnitSetup unit;
  unit.friendlyName = u"../../escaped #2";
  InstallUnit(unit);
  scanner_->BuildProfileList();
  EXPECT_EQ(BstrView(scanner_->FriendlyNameBstr()), u"../../escaped #2");  // still listed
  const std::filesystem::path escaped = ProfileFolder() / "../../escaped #2.zq";
  EXPECT_FALSE(std::filesystem::exists(escaped));
  EXPECT_FALSE(std::filesystem::exists(ProfileFolder().parent_path().parent_path() / "escaped #2.zq"));
}

TEST_F(DiscoveryTest, AnEmptyListEndsNumberedDiscovery) {
  ZQSCANINFO info = ZqScanInfoDefaults();
  _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_PUT_LIST_IN_FRIENDLY_NAME, &info, &status), S_OK);
  EXPECT_EQ(scanner_->FriendlyNameBstr(), nullptr);
  BSTR name = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(scanner_->get_FriendlyName(&name), S_OK);
  EXPECT_EQ(name, nullptr);
  LONG found = 7;
  EXPECT_EQ(scanner_->IsInstalled(&found), S_OK);  // nothing to compare with: no device is left to try
  InstallUnit(UnitSetup{});
  EXPECT_EQ(scanner_->IsInstalled(&found), E_FAIL);
  EXPECT_EQ(found, 0);
}

}  // namespace
}  // namespace rzd::apphal::test
