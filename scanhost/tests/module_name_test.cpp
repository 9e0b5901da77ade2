// What a copy of the service reads from its own file name.
#include "startup/module_name.h"
#include "startup/startup_values.h"

#include "scanhost/instance_ids.h"

#include "platform/registry.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::scanhost {
namespace {

struct NameCase {
  const char* path;
  std::optional<ModuleName> expected;
};

TEST(ModuleNameTest, OnlyTheFileNameOfExactlyBaseSubkeyDigitNamesAnInstance) {
  const NameCase cases[] = {
      {"/opt/Corvanite/M48tz/scanhost_0003_7", ModuleName{u"scanhost_0003_7", u"0003", 7}},
      {"/opt/scanhost_0012_0", ModuleName{u"scanhost_0012_0", u"0012", 0}},
      {"scanhost_0003_7.exe", ModuleName{u"scanhost_0003_7", u"0003", 7}},  // the Windows form
      {"/a_b/my_scan_host_ABCD_9", ModuleName{u"my_scan_host_ABCD_9", u"ABCD", 9}},
      // Underscores in folder names say nothing.
      {"/srv/units_0003_7/scanhost", std::nullopt},
      {"/srv/x_0003_7/scanhost_x", std::nullopt},
      {"scanhost_0003_x", std::nullopt},   // no digit
      {"scanhost_00031_7", std::nullopt},  // five characters between the underscores
      {"scanhost_0003_75", std::nullopt},  // two characters after the last one
      {"scanhost_003_7", std::nullopt},    // three
      {"scanhost_00_3_7", std::nullopt},   // an underscore among the four
      {"_0003_7", std::nullopt},           // no base
      {"scanhost", std::nullopt},
      {"", std::nullopt},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<ModuleName> name = ParseModuleName(c.path);
    ASSERT_EQ(name.has_value(), c.expected.has_value());
    if (!name) continue;
    EXPECT_EQ(ToUtf8(name->service), ToUtf8(c.expected->service));
    EXPECT_EQ(ToUtf8(name->subkey), ToUtf8(c.expected->subkey));
    EXPECT_EQ(name->instance, c.expected->instance);
  }
}

class StartupValuesTest : public rzd::test::TempRoot {};

TEST_F(StartupValuesTest, InstanceSevenOfSubkey0003ReadsItsDeviceClassKey) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine,
                           u"SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0003", &key),
            ERROR_SUCCESS);
  key.SetString(u"SymbolicName", u"\\\\?\\usb#vid_2e5a&pid_0148#sn1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  key.SetExpandString(u"FIRMWARE_UPDATER", u"updater");
  key.SetDword(u"FriendlyName", 5);  // not a string: read as missing

  const std::optional<StartupValues> values = ReadStartupValues("/opt/Corvanite/M48tz/scanhost_0003_7");
  ASSERT_TRUE(values);
  EXPECT_EQ(values->name.instance, 7u);
  EXPECT_EQ(values->instanceText, u"7");
  EXPECT_EQ(values->halClsid, kInstanceClasses[7]);
  EXPECT_EQ(FormatGuid(values->halClsid), u"{BDB9D1B1-E5C1-47E5-A23F-9728066C61DF}");
  EXPECT_EQ(values->appId, kInstanceAppIds[7]);
  EXPECT_EQ(values->symbolicName, u"\\\\?\\usb#vid_2e5a&pid_0148#sn1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(values->firmwareUpdater, u"updater");
  EXPECT_EQ(values->friendlyName, u"");
  EXPECT_EQ(values->deviceInstanceId, u"");
  EXPECT_EQ(values->driverFileName, u"liblowdrv.so");
  EXPECT_FALSE(ReadStartupValues("/opt/Corvanite/M48tz/scanhost_0003_x"));
}

}  // namespace
}  // namespace rzd::scanhost
