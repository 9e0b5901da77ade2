// The clean-up of orphaned copies of the service and of orphaned data sources, on a folder with
// one true orphan of each kind beside everything that must stay.
#include "service/orphan_cleanup.h"
#include "service_fixture.h"

#include "scanhost/instance_ids.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

#include <fstream>

namespace rzd::scanhost::test {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file).put('x');
}

void SetClassString(const std::string& subkey, const char16_t* name, const fs::path& path) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\" + FromUtf8(subkey), &key),
            ERROR_SUCCESS);
  key.SetString(name, path.u16string());
}

bool ClassesKeyExists(const std::u16string& path) {
  RegKey key;
  return RegKey::Open(Hive::ClassesRoot, path, &key) == ERROR_SUCCESS;
}

using OrphanCleanupTest = ServiceFixture;

TEST_F(OrphanCleanupTest, OnlyTheTrueOrphansGo) {
  const fs::path folder = ProgramFolder();
  const fs::path running = InstallCopy("0003", 7, false);      // this service's own file
  const fs::path live = InstallCopy("0004", 7, false);         // a unit's HAL_PATH (named indirectly)
  const fs::path servedOrphan = InstallCopy("0005", 7, false);  // its instance is served by 0004
  const fs::path lonelyOrphan = InstallCopy("0006", 2, false);  // nobody serves instance 2
  const fs::path runningService = InstallCopy("0007", 8, false);
  // Device class keys whose units are gone keep their values, but no HAL_PATH.
  for (const char* subkey : {"0005", "0006"}) WriteClassKey(subkey, UnitPath());
  SetClassString("0003", u"HAL_PATH", running);
  SetClassString("0004", u"HAL_PATH", folder / "." / "scanhost_0004_7");
  ASSERT_EQ(Run(servedOrphan, {"-Service"}), 0);
  ASSERT_EQ(Run(live, {"-Service"}), 0);  // instance 7's class is the live copy's again
  ASSERT_EQ(Run(lonelyOrphan, {"-RegServer"}), 0);
  // A copy whose service runs (its recorded process is this one).
  ServiceCreateInfo info;
  info.name = u"scanhost_0007_8";
  info.commandLine = runningService.u16string();
  ASSERT_EQ(CreateServiceRecord(info), ERROR_SUCCESS);
  ASSERT_EQ(SetServiceRunStatus(u"scanhost_0007_8", {SERVICE_RUNNING, CurrentProcessId(), 0, 0}), ERROR_SUCCESS);
  // Things that are no copy of this service.
  Touch(folder / "scanhost_0008_x");
  Touch(folder / "other_0009_1");
  fs::create_directories(folder / "scanhost_0010_3");
  fs::create_symlink(lonelyOrphan, folder / "scanhost_0011_4");
  // Data sources: one named by a unit, one orphan with its library, one of another model.
  const fs::path twain = KnownFolderPath(KnownFolder::Windows) / "twain_32" / "M48tz";
  SetClassString("0004", u"TWAIN_DS_PATH", twain / "M48tz.ds");
  for (const char* name : {"M48tz.ds", "M48tzOld.ds", "M48tzOld.dll", "Other.ds"}) Touch(twain / name);

  const CLogClient log(u"OrphanCleanupTest");
  // Another maker's device arrives: nothing happens.
  CleanUpOrphansFor(log, UnitPath(), u"\\\\?\\usb#vid_1234&pid_0148#x#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", running);
  EXPECT_TRUE(fs::exists(servedOrphan));
  // A unit of the model arrives.
  CleanUpOrphansFor(log, UnitPath(), UnitPath("QM48TZ000009"), running);

  EXPECT_FALSE(fs::exists(servedOrphan));
  EXPECT_FALSE(ServiceRecordExists(u"scanhost_0005_7"));
  EXPECT_FALSE(ClassesKeyExists(u"AppID\\scanhost_0005_7"));
  EXPECT_TRUE(ClassesKeyExists(u"CLSID\\" + FormatGuid(kInstanceClasses[7]))) << "the live copy's class stays";
  EXPECT_TRUE(ClassesKeyExists(u"AppID\\" + FormatGuid(kInstanceAppIds[7])));
  EXPECT_TRUE(ServiceRecordExists(u"scanhost_0004_7"));
  EXPECT_FALSE(fs::exists(lonelyOrphan));
  EXPECT_FALSE(ClassesKeyExists(u"CLSID\\" + FormatGuid(kInstanceClasses[2]))) << "it unregistered itself";
  for (const fs::path& kept : {running, live, runningService, folder / "scanhost_0008_x", folder / "other_0009_1",
                               folder / "scanhost_0010_3"}) {
    EXPECT_TRUE(fs::exists(kept)) << kept;
  }
  EXPECT_TRUE(fs::is_symlink(folder / "scanhost_0011_4"));
  EXPECT_TRUE(fs::exists(twain / "M48tz.ds"));
  EXPECT_FALSE(fs::exists(twain / "M48tzOld.ds"));
  EXPECT_FALSE(fs::exists(twain / "M48tzOld.dll"));
  EXPECT_TRUE(fs::exists(twain / "Other.ds"));
  SetServiceRunStatus(u"scanhost_0007_8", {SERVICE_STOPPED, 0, 0, 0});
  DeleteServiceRecord(u"scanhost_0007_8");
}

}  // namespace
}  // namespace rzd::scanhost::test
