// The fixture of the tests that run copies of the service: each test's own root, copies of the
// scanhost program named like per-unit copies (with the fake driver beside them when a test wants
// it), the unit's device class key as the installation writes it, simulated units (rzd-engine),
// and a watcher that ends every service of the root should the test process die.
#pragma once

#include "platform/process.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace rzd::scanhost::test {

using rzd::test::Eventually;

inline constexpr char kSerial[] = "QM48TZ000001";

// The interface path of the model's unit with this serial number, as the device table gives it.
std::u16string UnitPath(const std::string& serial = kSerial);

class ServiceFixture : public rzd::test::TempRoot {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Program Files/Corvanite/M48tz.
  static std::filesystem::path ProgramFolder();
  // Copies the scanhost program there as <base>_<subkey>_<instance>; with `fakeDriver` the fake
  // driver library lies beside it as liblowdrv.so (the copy then loads it).
  static std::filesystem::path InstallCopy(const std::string& subkey, uint32_t instance, bool fakeDriver,
                                           const std::string& base = "scanhost");
  // The device class key <subkey> with the values the installation writes.
  static void WriteClassKey(const std::string& subkey, const std::u16string& symbolicName,
                            const std::u16string& deviceInstanceId = u"");
  static std::u16string ClassValue(const std::string& subkey, const char16_t* name);
  static std::optional<uint32_t> ClassDword(const std::string& subkey, const char16_t* name);

  // Runs a program to its end; its exit code (-1 when it did not end within 2 minutes).
  static int Run(const std::filesystem::path& program, const std::vector<std::string>& args);
  static int Sc(const std::vector<std::string>& args);

  // Starts rzd-engine for a unit and waits until its entry is in the device table. With `lcdDir`
  // the unit writes each LCD screen it receives there as a picture.
  void StartUnit(const std::string& serial = kSerial, uint32_t instance = 3,
                 const std::optional<std::filesystem::path>& lcdDir = std::nullopt);
  // A control line to the unit of `instance` (unplug, replug, ...); its reply.
  static std::string UnitControl(uint32_t instance, const std::string& line);

  std::vector<ChildProcess> units_;

 private:
  std::optional<ChildProcess> watcher_;
};

}  // namespace rzd::scanhost::test
