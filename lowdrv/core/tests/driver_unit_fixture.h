// The fixture of the driver-class tests against the simulated unit: rzd-engine in a process of
// its own, the unit's device class key as the installation writes it, the unit's record of the
// command blocks it received, and the probe program that runs driver objects in other processes.
#pragma once

#include "engine/unit_server.h"
#include "lowdrv/core/driver_model.h"
#include "lowdrv/core/driver_names.h"
#include "platform/devices.h"
#include "driver/process_state.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

inline constexpr char kSerial[] = "QM48TZ000001";
inline constexpr char16_t kFriendlyName[] = u"Quarx M48tz Scanner #2";

// The interface path of the model's unit with this serial number (lower case, as the table gives it).
inline std::u16string ModelUnitPath(const std::string& serial = kSerial) {
  return u"\\\\?\\usb#vid_2e5a&pid_0148#" + ToLower(FromUtf8(serial)) + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
}

// One received block as the unit's log shows it: "new 12: E0 ..." (sequence number dropped).
inline std::vector<std::string> ParseUnitLog(const std::string& reply) {
  std::vector<std::string> blocks;
  std::istringstream lines(reply);
  std::string line;
  std::getline(lines, line);  // "ok <count>"
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) blocks.push_back(line.substr(space + 1));
  }
  return blocks;
}

// Reads the lines a probe wrote.
inline std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

class DriverUnitTest : public rzd::test::TempRoot {
 protected:
  // Each test starts as a fresh process would (CTest runs each in its own; a whole-suite run
  // shares one process).
  void SetUp() override {
    CRZDScannerSettingsBase::SetSettingsInitialised(false);
    driver_process::ForgetRecords();
  }
  void TearDown() override {
    for (auto& probe : probes_) probe.Kill();
    if (unit_) {
      unit_->Terminate();
      unit_->Wait(30000);
    }
  }

  // Starts rzd-engine for the unit, registers its device class key and waits until it serves.
  void StartUnit(const std::string& serial = kSerial, uint32_t instance = 0) {
    instance_ = instance;
    path_ = ModelUnitPath(serial);
    // The unit stops by itself when this process ends, also when a sanitizer or a crash ends it
    // before TearDown.
    unit_ = ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine",
                                {"--instance", std::to_string(instance), "--serial", serial, "--parent-pid",
                                 std::to_string(CurrentProcessId())});
    ASSERT_TRUE(unit_);
    ASSERT_TRUE(rzd::test::Eventually([&] { return FindDevice(path_).has_value(); }, std::chrono::seconds(30)))
        << "the unit did not come";
    RegisterClassKey(path_, instance, kFriendlyName);
  }

  // The unit's device class key as the installation writes it.
  static void RegisterClassKey(const std::u16string& path, uint32_t instance, std::u16string_view friendlyName) {
    RegKey key;
    const std::u16string sub = FormatW(u"%04u", instance);
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(kImageClassKey) + u"\\" + sub, &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString(u"SymbolicName", path), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString(u"FriendlyName", friendlyName), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString(u"HAL_MODEL", u"M48tz"), ERROR_SUCCESS);
  }

  std::string Control(const std::string& line) const {
    const std::optional<std::string> reply = engine::SendControlLine(engine::ControlSocketPath(instance_), line);
    EXPECT_TRUE(reply) << line;
    return reply.value_or("");
  }
  // The blocks the unit received since the last call (and forgets them).
  std::vector<std::string> TakeUnitLog() {
    const std::vector<std::string> blocks = ParseUnitLog(Control("log"));
    Control("log clear");
    return blocks;
  }

  // Starts the probe program with a script; its answers go to the returned file.
  std::filesystem::path StartProbe(const std::vector<std::string>& script) {
    const std::filesystem::path out = RootPath() / ("probe" + std::to_string(probes_.size()) + ".txt");
    std::vector<std::string> args = {"--path", ToUtf8(path_), "--out", out.string()};
    args.insert(args.end(), script.begin(), script.end());
    std::optional<ChildProcess> probe = ChildProcess::Start(rzd::test::BinaryDir() / "lowdrv_driver_probe", args);
    EXPECT_TRUE(probe);
    if (probe) probes_.push_back(std::move(*probe));
    return out;
  }
  // Waits for the last probe started to end; its exit code.
  std::optional<int> WaitProbe(size_t index) { return probes_.at(index).Wait(60000); }

  // A named manual-reset event of the test, kept open for the test's length.
  Event NamedEvent(const std::string& name) {
    ObjectResult<Event> made = Event::Create(std::string("Global\\") + name, true, false);
    EXPECT_TRUE(made);
    events_.push_back(made.handle);
    return made.handle;
  }
  static bool WaitFor(const Event& event) { return event.Wait(60000) == WAIT_OBJECT_0; }

  std::optional<ChildProcess> unit_;
  uint32_t instance_ = 0;
  std::u16string path_;
  std::vector<ChildProcess> probes_;
  std::vector<Event> events_;
};

}  // namespace rzd::lowdrv::test
