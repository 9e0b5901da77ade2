// The driver's system queries: power time-out limits, the region rule, code page conversion,
// installed product versions, the power-off switch, and the bound of the LCD string table.
#include "driver/process_state.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/core/driver_system.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <optional>

namespace rzd::lowdrv {
namespace {

class DriverSystemTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    saved_ = GetEnv("LC_ALL");
    SetEnv("LC_ALL", "en_US.UTF-8");
  }
  void TearDown() override {
    if (saved_) SetEnv("LC_ALL", *saved_);
    else UnsetEnv("LC_ALL");
  }
  static RZDPowerTimeoutLimits Load(uint32_t* found = nullptr) {
    RZDPowerTimeoutLimits limits;
    const uint32_t bits = LoadPowerTimeoutLimitsFrom(reinterpret_cast<const void*>(&DriverResultText), u"M48tz", limits);
    if (found) *found = bits;
    return limits;
  }
  static void SetSleepTime(std::optional<uint32_t> minimum, std::optional<uint32_t> maximum) {
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite\\M48tz\\SleepTime", &key), ERROR_SUCCESS);
    if (minimum) key.SetDword(u"Min", *minimum);
    if (maximum) key.SetDword(u"Max", *maximum);
  }

  std::optional<std::string> saved_;
};

TEST_F(DriverSystemTest, LimitsComeFromTheDeviceDescription) {
  uint32_t found = 0;
  const RZDPowerTimeoutLimits limits = Load(&found);
  EXPECT_EQ(found, kPowerLimitsOff | kPowerLimitsSleep | kPowerLimitsERP);
  EXPECT_EQ(limits.found, found);
  EXPECT_EQ(limits.sleepMin, 5);
  EXPECT_EQ(limits.sleepMax, 120);
  EXPECT_EQ(limits.sleepDefault, 15);
  // A listed region: power-off and ERP may be off.
  EXPECT_EQ(limits.offMin, 0);
  EXPECT_EQ(limits.offDefault, 0);
  EXPECT_EQ(limits.offMax, 4320);
  EXPECT_EQ(limits.erpMin, 0);
  EXPECT_EQ(limits.erpDefault, 0);
  EXPECT_EQ(limits.erpMax, 4320);
}

TEST_F(DriverSystemTest, OutsideTheListedRegionsPowerOffAndErpHaveAFloor) {
  for (const char* locale : {"de_DE.UTF-8", "fr_CA.UTF-8", "es_MX", "en_US"}) {
    SetEnv("LC_ALL", locale);
    const bool listed = std::string(locale) != "de_DE.UTF-8";
    EXPECT_EQ(CheckSystemGeoId(), listed) << locale;
    const RZDPowerTimeoutLimits limits = Load();
    EXPECT_EQ(limits.offMin, listed ? 0 : 15) << locale;
    EXPECT_EQ(limits.offDefault, listed ? 0 : 240) << locale;
    EXPECT_EQ(limits.erpMin, listed ? 0 : 15) << locale;
    EXPECT_EQ(limits.erpDefault, listed ? 0 : 240) << locale;
  }
  // No territory to ask: counted as a listed region.
  SetEnv("LC_ALL", "C");
  EXPECT_TRUE(CheckSystemGeoId());
}

TEST_F(DriverSystemTest, TheMachinesSleepLimitsReplaceTheDescriptionsWhenBothAreInOrder) {
  struct Case {
    std::optional<uint32_t> minimum, maximum;
    uint16_t sleepMin, sleepMax, sleepDefault;
  };
  const Case cases[] = {
      {5, 60, 5, 60, 15},
      {20, 60, 20, 60, 20},      // the default is raised to the minimum
      {1, 10, 1, 10, 10},        // and lowered to the maximum
      {30, 10, 5, 120, 15},      // out of order: the description's stay
      {0, std::nullopt, 5, 120, 15},  // a missing maximum: the description's stay
      {std::nullopt, 60, 5, 120, 15},
  };
  for (const Case& c : cases) {
    RegKey::DeleteTree(Hive::LocalMachine, u"Software\\Corvanite");
    SetSleepTime(c.minimum, c.maximum);
    const RZDPowerTimeoutLimits limits = Load();
    EXPECT_EQ(limits.sleepMin, c.sleepMin);
    EXPECT_EQ(limits.sleepMax, c.sleepMax);
    EXPECT_EQ(limits.sleepDefault, c.sleepDefault);
  }
}

TEST_F(DriverSystemTest, TheDriversLimitsAreTheProcesssAndTheSettingsSeeThem) {
  driver_process::ForgetRecords();  // as in a fresh process
  SetSleepTime(20, 60);
  CRZDREduzidLLD driver(u"\\\\?\\usb#vid_2e5a&pid_0148#x#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  driver.m_strHalModel = u"M48tz";
  RZDPowerTimeoutLimits limits;
  EXPECT_FALSE(driver.GetPowerTimeoutLimits(&limits));  // none loaded yet
  EXPECT_EQ(driver.LoadPowerTimeoutLimits(), 7u);
  CRZDREduzidLLD other(u"\\\\?\\usb#vid_2e5a&pid_0148#y#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  ASSERT_TRUE(other.GetPowerTimeoutLimits(&limits));
  EXPECT_EQ(limits.sleepMin, 20);
  EXPECT_EQ(limits.sleepMax, 60);
}

TEST_F(DriverSystemTest, WideToNarrowUsesTheAnsiCodePage) {
  EXPECT_EQ(WideToNarrow(u"Quarx M48tz Scanner"), "Quarx M48tz Scanner");
  EXPECT_EQ(WideToNarrow(u"Caf\u00e9 \u20ac"), "Caf\xE9 \x80");
  EXPECT_EQ(WideToNarrow(u"\u0416"), "?");
  EXPECT_EQ(WideToNarrow(u""), "");
}

TEST_F(DriverSystemTest, InstalledProductVersionsFollowThePackedCodes) {
  EXPECT_EQ(UnpackProductCode(u"87654321BA09FEDC2143658709BADCFE"), u"{12345678-90AB-CDEF-1234-567890ABCDEF}");
  EXPECT_EQ(UnpackProductCode(u"87654321BA09FEDC2143658709BADCF"), u"");   // 31 characters
  EXPECT_EQ(UnpackProductCode(u"87654321BA09FEDC2143658709BADCFG"), u"");  // not hexadecimal

  const std::u16string upgrade = u"0F1E2D3C4B5A69788796A5B4C3D2E1F0";
  EXPECT_EQ(GetInstalledProductVersion(upgrade), u"Not installed");
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine,
                           u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\" + upgrade, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"87654321BA09FEDC2143658709BADCFE", u""), ERROR_SUCCESS);
  EXPECT_EQ(GetInstalledProductVersion(upgrade), u"Not installed");  // no uninstall entry yet
  RegKey product;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine,
                           u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{12345678-90AB-CDEF-1234-567890ABCDEF}",
                           &product),
            ERROR_SUCCESS);
  ASSERT_EQ(product.SetString(u"DisplayVersion", u"2.1.0.5"), ERROR_SUCCESS);
  EXPECT_EQ(GetInstalledProductVersion(upgrade), u"2.1.0.5");
}

TEST_F(DriverSystemTest, PowerOffIsDisabledByANonZeroValue) {
  EXPECT_FALSE(IsDisablePowerOff());
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite", &key), ERROR_SUCCESS);
  key.SetDword(u"DisablePowerOff", 0);
  EXPECT_FALSE(IsDisablePowerOff());
  key.SetDword(u"DisablePowerOff", 1);
  EXPECT_TRUE(IsDisablePowerOff());
}

TEST(DriverLcdTableTest, TheStringBlockIsBoundedWhateverCountTheUnitStates) {
  EXPECT_EQ(LcdStringBlockSize(0), 0u);  // nothing to read, and no underflow
  EXPECT_EQ(LcdStringBlockSize(1), 267u);
  EXPECT_EQ(LcdStringBlockSize(2), 527u);
  EXPECT_EQ(LcdStringBlockSize(512), 7u + 260u * 512u);
  EXPECT_EQ(LcdStringBlockSize(513), 7u + 260u * 512u);
  EXPECT_EQ(LcdStringBlockSize(0xFFFF), 7u + 260u * 512u);
  EXPECT_EQ(LcdStringBlockSize(0xFFFFFFFF), 7u + 260u * 512u);
}

}  // namespace
}  // namespace rzd::lowdrv
