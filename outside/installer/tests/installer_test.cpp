// rzd-install installs the units of the device table that are not installed yet (device class
// key values, a hard-linked per-unit service executable, its registration) so that activating a
// unit's class starts its service (scanhost), and --remove undoes all of it.
#include "foundation/folders.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/session.h"
#include "platform/text.h"
#include "scanhost/instance_ids.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using rzd::ComPtr;

rzd::DeviceEntry Unit(uint16_t vendor, uint16_t product, const char16_t* serial, uint32_t instance) {
  rzd::UsbImageDevice unit;
  unit.vendorId = vendor;
  unit.productId = product;
  unit.serialNumber = serial;
  unit.instance = instance;
  unit.friendlyName = rzd::lowdrv::kModelFriendlyNameW;
  return rzd::MakeUsbImageDevice(unit);
}

rzd::DeviceEntry ModelUnit(const char16_t* serial, uint32_t instance) {
  return Unit(rzd::lowdrv::kModelUsbVendorId, rzd::lowdrv::kModelUsbProductId, serial, instance);
}

std::u16string Value(const std::u16string& subkey, const char16_t* name) {
  rzd::RegKey key;
  std::u16string value;
  if (rzd::RegKey::Open(rzd::Hive::LocalMachine, std::u16string(rzd::lowdrv::kImageClassKey) + u"\\" + subkey, &key) ==
      ERROR_SUCCESS) {
    key.GetString(name, &value);
  }
  return value;
}

bool UnitKeyExists(const std::u16string& subkey) {
  rzd::RegKey key;
  return rzd::RegKey::Open(rzd::Hive::LocalMachine, std::u16string(rzd::lowdrv::kImageClassKey) + u"\\" + subkey,
                           &key) == ERROR_SUCCESS;
}

class InstallerTest : public rzd::test::TempRoot {
 protected:
  void TearDown() override {
    for (const std::u16string& name : rzd::ListServices()) {
      rzd::ServiceRunStatus status;
      if (rzd::QueryServiceRunStatus(name, &status) == ERROR_SUCCESS && status.processId != 0) {
        rzd::KillProcess(status.processId);
      }
    }
  }

  static int RunInstaller(const std::vector<std::string>& args) {
    auto child = rzd::ChildProcess::Start(rzd::test::BinaryDir() / "rzd-install", args);
    return child ? child->Wait(120000).value_or(-1) : -1;
  }

  static int Install(const std::vector<std::string>& extra = {}) {
    return RunInstaller(extra);  // the service executable beside the installer
  }

  static fs::path Folder() { return rzd::SystemRoot() / "Program Files" / "Corvanite" / "M48tz"; }

  rzd::ComInit com_{COINIT_MULTITHREADED};
};

TEST_F(InstallerTest, InstallsEachUnitOnceAndActivationStartsItsService) {
  const rzd::DeviceEntry first = ModelUnit(u"QM48TZ000001", 3);
  const rzd::DeviceEntry second = ModelUnit(u"", 7);
  ASSERT_EQ(rzd::AddDevice(first), ERROR_SUCCESS);
  ASSERT_EQ(rzd::AddDevice(second), ERROR_SUCCESS);
  ASSERT_EQ(rzd::AddDevice(Unit(0x1234, 0x5678, u"OTHER1", 5)), ERROR_SUCCESS);  // another maker's unit

  ASSERT_EQ(Install(), 0);
  const fs::path link = Folder() / "scanhost_0003_0";
  EXPECT_EQ(Value(u"0003", u"SymbolicName"), first.interfacePath);
  EXPECT_EQ(Value(u"0003", u"FriendlyName"), u"Quarx M48tz Scanner");
  EXPECT_EQ(Value(u"0003", u"DeviceInstanceID"), u"USB\\VID_2E5A&PID_0148\\QM48TZ000001");
  EXPECT_EQ(Value(u"0007", u"DeviceInstanceID"), u"USB\\VID_2E5A&PID_0148\\7&0&1");
  EXPECT_EQ(Value(u"0003", u"HAL_MODEL"), u"M48tz");
  EXPECT_EQ(Value(u"0003", u"TWAIN_DS_PATH"), rzd::FromUtf8(RZD_TWAIN_DATA_SOURCE)) << "the model's data source";
  EXPECT_EQ(Value(u"0003", u"TWAIN_64_PATH"), rzd::FromUtf8(RZD_TWAIN_DATA_SOURCE)) << "what a 64-bit driver reads";
  EXPECT_EQ(Value(u"0003", u"HAL_PATH"), rzd::FromUtf8(link.string()));
  EXPECT_EQ(Value(u"0007", u"HAL_PATH"), rzd::FromUtf8((Folder() / "scanhost_0007_1").string()));
  EXPECT_FALSE(UnitKeyExists(u"0005")) << "only the model's units";
  // One copy, with a hard link per unit whose name carries the unit.
  EXPECT_TRUE(fs::equivalent(link, Folder() / "scanhost"));
  EXPECT_EQ(fs::hard_link_count(link), 3u);
  // Each link registered itself: its class for its own instance and its service.
  EXPECT_EQ(Value(u"0003", u"HAL_CLSID"), rzd::FormatGuid(rzd::scanhost::kInstanceClasses[0]));
  EXPECT_EQ(Value(u"0007", u"HAL_CLSID"), rzd::FormatGuid(rzd::scanhost::kInstanceClasses[1]));
  EXPECT_TRUE(rzd::ServiceRecordExists(u"scanhost_0003_0"));
  EXPECT_TRUE(rzd::ServiceRecordExists(u"scanhost_0007_1"));
  // The component libraries data sources and the service load: buffers and bridge.
  for (const char16_t* clsid : {u"{C289EC9A-8AE8-4068-8DF3-D45BE383F8FD}", u"{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}"}) {
    rzd::RegKey server;
    EXPECT_EQ(rzd::RegKey::Open(rzd::Hive::ClassesRoot, u"CLSID\\" + std::u16string(clsid) + u"\\InprocServer32", &server),
              ERROR_SUCCESS)
        << rzd::ToUtf8(clsid);
  }

  // Installed units are left alone; a new one gets the next free instance.
  ASSERT_EQ(Install(), 0);
  EXPECT_EQ(Value(u"0003", u"HAL_PATH"), rzd::FromUtf8(link.string()));
  EXPECT_EQ(fs::hard_link_count(link), 3u) << "no unit got a second link";
  ASSERT_EQ(rzd::AddDevice(ModelUnit(u"QM48TZ000009", 12)), ERROR_SUCCESS);
  ASSERT_EQ(Install({"--twain-ds", "/opt/twain/other.ds"}), 0);
  EXPECT_EQ(Value(u"0012", u"HAL_PATH"), rzd::FromUtf8((Folder() / "scanhost_0012_2").string()));
  EXPECT_EQ(Value(u"0012", u"TWAIN_DS_PATH"), u"/opt/twain/other.ds");
  EXPECT_EQ(Value(u"0012", u"TWAIN_64_PATH"), u"/opt/twain/other.ds");

  // The unit's class, activated, runs its own service executable under the service manager;
  // this process finds the IRZDHAL proxy/stub through the registration the installer made.
  ComPtr<IRZDHAL> hal;
  ASSERT_EQ(CoCreateInstance(rzd::scanhost::kInstanceClasses[0], nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()),
            S_OK);
  VARIANT in;
  VARIANT out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_UI4;
  in.ulVal = rzd::CurrentProcessId();
  rzd::Bstr text;
  ASSERT_EQ(hal->Control(35, nullptr, text.Out(), &in, &out), S_OK);
  ASSERT_EQ(rzd::WaitForServiceState(u"scanhost_0003_0", SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  rzd::ServiceRunStatus status;
  ASSERT_EQ(rzd::QueryServiceRunStatus(u"scanhost_0003_0", &status), ERROR_SUCCESS);
  EXPECT_EQ(rzd::ProcessSessionId(status.processId), rzd::kServicesSessionId);
  hal.Reset();

  ASSERT_EQ(RunInstaller({"--remove"}), 0);
  for (const char16_t* subkey : {u"0003", u"0007", u"0012"}) EXPECT_FALSE(UnitKeyExists(subkey));
  EXPECT_TRUE(rzd::ListServices().empty());
  EXPECT_FALSE(fs::exists(Folder()));
  rzd::test::Eventually([&] { return !rzd::IsProcessAlive(status.processId); }, std::chrono::seconds(10));
  EXPECT_FALSE(rzd::IsProcessAlive(status.processId)) << "its service was stopped";
  rzd::RegKey proxyStub;
  EXPECT_NE(rzd::RegKey::Open(rzd::Hive::ClassesRoot, u"Interface\\" + rzd::FormatGuid(IID_IRZDHAL), &proxyStub),
            ERROR_SUCCESS)
      << "the proxy/stub registration is gone too";
  rzd::RegKey bridge;
  EXPECT_NE(rzd::RegKey::Open(rzd::Hive::ClassesRoot, u"CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}", &bridge),
            ERROR_SUCCESS)
      << "and the bridge's";
}

// The settings panel starts the program named by the unit's FIRMWARE_UPDATER value (written by the
// service when it registers) in the maker's 32-bit common files folder, with the unit's
// SymbolicName: that program is there after the installation, runs, and goes with --remove.
TEST_F(InstallerTest, TheFirmwareUpdaterIsWhereThePanelStartsIt) {
  const rzd::DeviceEntry unit = ModelUnit(u"QM48TZ000001", 3);
  ASSERT_EQ(rzd::AddDevice(unit), ERROR_SUCCESS);
  ASSERT_EQ(Install(), 0);

  fs::path folder;
  ASSERT_TRUE(rzd::GetCommonFilesX86Folder(&folder));
  const std::u16string named = Value(u"0003", u"FIRMWARE_UPDATER");
  ASSERT_FALSE(named.empty()) << "the service names its updater";
  const fs::path updater = folder / rzd::ToUtf8(named);
  ASSERT_TRUE(fs::is_regular_file(updater)) << updater;
  EXPECT_EQ(rzd::test::ReadBytes(updater), rzd::test::ReadBytes(rzd::test::BinaryDir() / "rzd-fwupdater"));

  auto child = rzd::ChildProcess::Start(updater, {rzd::ToUtf8(Value(u"0003", u"SymbolicName"))});
  ASSERT_TRUE(child.has_value());
  EXPECT_EQ(child->Wait(60000).value_or(-1), 0);
  const std::string calls = rzd::test::ReadBytes(rzd::SystemRoot() / "fwupdater" / "calls.log");
  EXPECT_NE(calls.find("\t" + rzd::ToUtf8(unit.interfacePath) + "\n"), std::string::npos) << calls;

  // Installing again keeps it in place.
  ASSERT_EQ(Install(), 0);
  EXPECT_TRUE(fs::is_regular_file(updater));

  ASSERT_EQ(RunInstaller({"--remove"}), 0);
  EXPECT_FALSE(fs::exists(updater));
  EXPECT_FALSE(fs::exists(folder)) << "the maker's folder held only the updater";
}

TEST_F(InstallerTest, AMissingServiceExecutableInstallsNothing) {
  ASSERT_EQ(rzd::AddDevice(ModelUnit(u"QM48TZ000001", 3)), ERROR_SUCCESS);
  EXPECT_EQ(RunInstaller({"--service-exe", (rzd::SystemRoot() / "missing").string()}), 1);
  EXPECT_FALSE(UnitKeyExists(u"0003"));
  EXPECT_EQ(RunInstaller({"--bogus"}), 2);
}

}  // namespace
