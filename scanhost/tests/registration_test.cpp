// Registration of a copy of the service, run as the program: only the copy's own instance is
// registered, and unregistration stops and deletes the service and keeps the device values.
#include "service_fixture.h"

#include "scanhost/instance_ids.h"

#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

namespace rzd::scanhost::test {
namespace {

bool ClassKeyExists(const std::u16string& path) {
  RegKey key;
  return RegKey::Open(Hive::ClassesRoot, path, &key) == ERROR_SUCCESS;
}

std::u16string ClassString(const std::u16string& path, const char16_t* name) {
  RegKey key;
  std::u16string value;
  if (RegKey::Open(Hive::ClassesRoot, path, &key) == ERROR_SUCCESS) key.GetString(name, &value);
  return value;
}

using RegistrationTest = ServiceFixture;

TEST_F(RegistrationTest, InstanceSevenRegistersOnlyItsOwnClassAndDeviceValues) {
  WriteClassKey("0003", UnitPath());
  const std::filesystem::path copy = InstallCopy("0003", 7, true);
  ASSERT_EQ(Run(copy, {"/REGSERVER"}), 0);  // switches ignore case and may start with "/"

  const std::u16string clsid = FormatGuid(kInstanceClasses[7]);
  EXPECT_EQ(clsid, u"{BDB9D1B1-E5C1-47E5-A23F-9728066C61DF}");
  EXPECT_EQ(ClassString(u"CLSID\\" + clsid, u""), u"RZDHALM48tz_7 Class");
  EXPECT_EQ(ClassString(u"CLSID\\" + clsid, u"AppID"), FormatGuid(kInstanceAppIds[7]));
  EXPECT_EQ(ClassString(u"CLSID\\" + clsid + u"\\LocalServer32", u""), u"\"" + copy.u16string() + u"\"")
      << "quoted: the path holds a blank";
  EXPECT_EQ(ClassString(u"CLSID\\" + clsid + u"\\ProgID", u""), u"RZDHALM48tzService.RZDHALM48tz_7.1");
  EXPECT_TRUE(ClassKeyExists(u"CLSID\\" + clsid + u"\\Implemented Categories\\" + FormatGuid(kHalCategoryId)));
  EXPECT_EQ(ClassString(u"RZDHALM48tzService.RZDHALM48tz_7\\CurVer", u""), u"RZDHALM48tzService.RZDHALM48tz_7.1");
  EXPECT_EQ(ClassString(u"AppID\\" + FormatGuid(kInstanceAppIds[7]), u""), u"scanhost_0003_7");
  EXPECT_EQ(ClassString(u"AppID\\scanhost_0003_7", u"AppID"), FormatGuid(kInstanceAppIds[7]));
  EXPECT_EQ(ClassString(u"AppID\\" + FormatGuid(kInstanceAppIds[7]), u"LocalService"), u"") << "not as a service";
  for (uint32_t other = 0; other < 10; ++other) {
    if (other == 7) continue;
    EXPECT_FALSE(ClassKeyExists(u"CLSID\\" + FormatGuid(kInstanceClasses[other]))) << other;
    EXPECT_FALSE(ClassKeyExists(u"AppID\\" + FormatGuid(kInstanceAppIds[other]))) << other;
    EXPECT_FALSE(ClassKeyExists(u"RZDHALM48tzService.RZDHALM48tz_" + FromUtf8(std::to_string(other)))) << other;
  }
  // The device class key values.
  EXPECT_EQ(ClassValue("0003", u"HAL_CLSID"), clsid);
  EXPECT_EQ(ClassValue("0003", u"INPROC_CLSID"), u"{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}");
  EXPECT_EQ(ClassValue("0003", u"CONFIG_UI"), u"setpanel.so");
  EXPECT_EQ(ClassValue("0003", u"FIRMWARE_UPDATER"), u"RZDFWUpdQT57");
  EXPECT_EQ(ClassValue("0003", u"IMAGE_PROCESSING"), u"OEM1");
  EXPECT_EQ(ClassDword("0003", u"STI_ESC"), 0u);
  EXPECT_EQ(ClassValue("0003", u"DRIVERPATH"),
            (KnownFolderPath(KnownFolder::Windows) / "REDIRIV" / "SCANDRV" / "M48tz" / "M48tz.so").u16string());
  EXPECT_FALSE(ServiceRecordExists(u"scanhost_0003_7"));
}

TEST_F(RegistrationTest, ServiceInstallsTheServiceAndUnregServerStopsAndDeletesItKeepingTheDeviceValues) {
  WriteClassKey("0003", UnitPath());
  const std::filesystem::path copy = InstallCopy("0003", 7, true);
  ASSERT_EQ(Run(copy, {"-Service"}), 0);
  ServiceConfig config;
  ASSERT_EQ(QueryServiceRecordConfig(u"scanhost_0003_7", &config), ERROR_SUCCESS);
  EXPECT_EQ(config.startType, SERVICE_AUTO_START);
  EXPECT_EQ(config.imagePath, u"\"" + copy.u16string() + u"\"");
  const std::u16string appId = u"AppID\\" + FormatGuid(kInstanceAppIds[7]);
  EXPECT_EQ(ClassString(appId, u"LocalService"), u"scanhost_0003_7");
  RegKey app;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, appId, &app), ERROR_SUCCESS);
  std::vector<uint8_t> launch;
  ASSERT_EQ(app.GetBinary(u"LaunchPermission", &launch), ERROR_SUCCESS);
  EXPECT_GE(launch.size(), 20u);
  EXPECT_EQ(launch[0], 1) << "a security descriptor";

  ASSERT_EQ(Sc({"start", "scanhost_0003_7"}), 0);
  ServiceRunStatus status;
  ASSERT_EQ(QueryServiceRunStatus(u"scanhost_0003_7", &status), ERROR_SUCCESS);
  ASSERT_EQ(status.state, SERVICE_RUNNING);

  ASSERT_EQ(Run(copy, {"-UnregServer"}), 0);
  EXPECT_FALSE(ServiceRecordExists(u"scanhost_0003_7"));
  EXPECT_FALSE(IsProcessAlive(status.processId)) << "stopped before it was deleted";
  EXPECT_FALSE(ClassKeyExists(u"CLSID\\" + FormatGuid(kInstanceClasses[7])));
  EXPECT_FALSE(ClassKeyExists(appId));
  EXPECT_FALSE(ClassKeyExists(u"AppID\\scanhost_0003_7"));
  EXPECT_EQ(ClassValue("0003", u"HAL_CLSID"), FormatGuid(kInstanceClasses[7])) << "the device values stay";
  EXPECT_EQ(ClassValue("0003", u"CONFIG_UI"), u"setpanel.so");
}

TEST_F(RegistrationTest, ACopyWithoutAnInstanceOrWithoutItsDeviceClassKeyFails) {
  const std::filesystem::path unnamed = InstallCopy("0003", 7, true, "scanhost");
  const std::filesystem::path bad = unnamed.parent_path() / "scanhost_0003_x";
  std::filesystem::rename(unnamed, bad);
  EXPECT_EQ(Run(bad, {"-RegServer"}), 255) << "-1: nothing registered";
  EXPECT_FALSE(ClassKeyExists(u"CLSID\\" + FormatGuid(kInstanceClasses[7])));
  // No device class key: the class is registered, the device values cannot be, E_FAIL.
  EXPECT_EQ(Run(InstallCopy("0009", 7, true), {"-RegServer"}), static_cast<int>(static_cast<uint32_t>(E_FAIL) & 0xFF));
}

}  // namespace
}  // namespace rzd::scanhost::test
