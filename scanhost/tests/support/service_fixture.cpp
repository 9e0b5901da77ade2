#include "service_fixture.h"

#include "engine/unit_server.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace rzd::scanhost::test {

namespace fs = std::filesystem;

std::u16string UnitPath(const std::string& serial) {
  return u"\\\\?\\usb#vid_2e5a&pid_0148#" + ToLower(FromUtf8(serial)) + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
}

void ServiceFixture::SetUp() {
  watcher_ = ChildProcess::Start(rzd::test::BinaryDir() / "scanhost_test_client",
                                 {"--watch", std::to_string(CurrentProcessId())});
  ASSERT_TRUE(watcher_);
}

void ServiceFixture::TearDown() {
  for (const std::u16string& name : ListServices()) {
    ServiceRunStatus status;
    if (QueryServiceRunStatus(name, &status) != ERROR_SUCCESS || status.state == SERVICE_STOPPED ||
        status.processId == CurrentProcessId()) {
      continue;
    }
    if (ControlServiceByName(name, SERVICE_CONTROL_STOP) != ERROR_SUCCESS ||
        WaitForServiceState(name, SERVICE_STOPPED, 60000) != ERROR_SUCCESS) {
      ADD_FAILURE() << ToUtf8(name) << " did not stop";
      KillProcess(status.processId);
    }
  }
  for (ChildProcess& unit : units_) {
    unit.Terminate();
    unit.Wait(30000);
  }
}

fs::path ServiceFixture::ProgramFolder() { return KnownFolderPath(KnownFolder::ProgramFiles) / "Corvanite" / "M48tz"; }

fs::path ServiceFixture::InstallCopy(const std::string& subkey, uint32_t instance, bool fakeDriver,
                                     const std::string& base) {
  const fs::path folder = ProgramFolder();
  fs::create_directories(folder);
  const fs::path copy = folder / (base + "_" + subkey + "_" + std::to_string(instance));
  fs::copy_file(rzd::test::BinaryDir() / "scanhost", copy, fs::copy_options::overwrite_existing);
  if (fakeDriver) fs::copy_file(RZD_FAKE_DRIVER, folder / "liblowdrv.so", fs::copy_options::overwrite_existing);
  return copy;
}

void ServiceFixture::WriteClassKey(const std::string& subkey, const std::u16string& symbolicName,
                                   const std::u16string& deviceInstanceId) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\" + FromUtf8(subkey), &key),
            ERROR_SUCCESS);
  key.SetString(u"SymbolicName", symbolicName);
  key.SetString(u"FriendlyName", lowdrv::kModelFriendlyNameW);
  key.SetString(u"DeviceInstanceID", deviceInstanceId);
  key.SetString(u"HAL_MODEL", lowdrv::kModelName);
}

std::u16string ServiceFixture::ClassValue(const std::string& subkey, const char16_t* name) {
  RegKey key;
  std::u16string value;
  if (RegKey::Open(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\" + FromUtf8(subkey), &key) ==
      ERROR_SUCCESS) {
    key.GetString(name, &value);
  }
  return value;
}

std::optional<uint32_t> ServiceFixture::ClassDword(const std::string& subkey, const char16_t* name) {
  RegKey key;
  uint32_t value = 0;
  if (RegKey::Open(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\" + FromUtf8(subkey), &key) !=
          ERROR_SUCCESS ||
      key.GetDword(name, &value) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

int ServiceFixture::Run(const fs::path& program, const std::vector<std::string>& args) {
  std::optional<ChildProcess> child = ChildProcess::Start(program, args);
  if (!child) return -1;
  return child->Wait(120000).value_or(-1);
}

int ServiceFixture::Sc(const std::vector<std::string>& args) { return Run(rzd::test::BinaryDir() / "rzd-sc", args); }

void ServiceFixture::StartUnit(const std::string& serial, uint32_t instance,
                               const std::optional<fs::path>& lcdDir) {
  std::vector<std::string> args = {"--instance", std::to_string(instance), "--serial", serial, "--parent-pid",
                                   std::to_string(CurrentProcessId())};
  if (lcdDir) args.insert(args.end(), {"--lcd-dir", lcdDir->string()});
  std::optional<ChildProcess> unit = ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine", args);
  ASSERT_TRUE(unit);
  units_.push_back(std::move(*unit));
  ASSERT_TRUE(Eventually([&] { return FindDevice(UnitPath(serial)).has_value(); })) << "the unit did not come";
}

std::string ServiceFixture::UnitControl(uint32_t instance, const std::string& line) {
  return engine::SendControlLine(engine::ControlSocketPath(instance), line).value_or("");
}

}  // namespace rzd::scanhost::test
