// The model's ERP (USB off) timer against the simulated unit in its own process: the model's
// rule marks it in the process's one inquiry record, so the information document reached through
// `Control` carries `ERPTimeout`, the settings documents carry its range and value, and every
// open holds the unit's ERP time within the model's limits and sends it.
#include "api/device_open.h"
#include "lowdrv/core/driver_process.h"
#include "lowdrv/engine/engine_caps.h"
#include "maintenance_fixture.h"
#include "platform/process.h"

#include <cstdio>

namespace rzd::lowdrv::test {
namespace {

const std::string kSendERP = SendBlockOf(0x10F);

// The unit's log lines of the ERP sends: the command block and its data.
std::vector<std::string> ERPSends(const std::vector<std::string>& log) {
  std::vector<std::string> sends;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind(kSendERP, 0) != 0) continue;
    sends.push_back(log[i]);
    if (i + 1 < log.size()) sends.push_back(log[i + 1]);
  }
  return sends;
}

class DriverERPTimerTest : public MaintenanceTest {
 protected:
  void SetUp() override {
    MaintenanceTest::SetUp();
    savedLocale_ = GetEnv("LC_ALL");
    SetEnv("LC_ALL", "en_US.UTF-8");  // a listed region: ERP minimum and default 0
  }
  void TearDown() override {
    api::CloseAllDevices();
    MaintenanceTest::TearDown();
    if (savedLocale_) {
      SetEnv("LC_ALL", *savedLocale_);
    } else {
      UnsetEnv("LC_ALL");
    }
  }
  static bool LockThroughControl(void* handle) {
    uint32_t timeout = 5000;
    Bstr error;
    return ::Control(handle, cc::kLock, nullptr, nullptr, &timeout, sizeof timeout, nullptr, nullptr, error.Out()) != 0;
  }
  // A document code (information, supported or current settings) through Control.
  static std::u16string DocumentThroughControl(void* handle, uint32_t code) {
    Bstr document;
    Bstr error;
    EXPECT_TRUE(::Control(handle, code, nullptr, document.Out(), nullptr, 0, nullptr, nullptr, error.Out()))
        << ToUtf8(error.View());
    return std::u16string(document.View());
  }
  std::optional<std::string> savedLocale_;
};

// The attributes of the ERP range of a settings document.
std::optional<std::u16string> RangeAttribute(std::u16string_view document, std::u16string_view name) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(document) || !store.SelectNode(u"//HardwareSettings/ERPTimeout/Range/Value"))
    return std::nullopt;
  std::u16string value;
  if (!store.GetNodeAttribute(name, value)) return std::nullopt;
  return value;
}

TEST_F(DriverERPTimerTest, TheInformationDocumentThroughControlCarriesTheUnitsERPTime) {
  StartUnit();
  ASSERT_EQ(Control("counters erp=90").rfind("ok", 0), 0u);
  void* handle = OpenThroughControl();
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(LockThroughControl(handle));

  const std::u16string info = DocumentThroughControl(handle, cc::kScannerInfo);
  EXPECT_EQ(TextAt(info, u"/RZDScanner/ERPTimeout"), u"90") << ToUtf8(info);
  EXPECT_NE(info.find(u"\t<PowerOffTimeout>240</PowerOffTimeout>\r\n\t<ERPTimeout>90</ERPTimeout>\r\n"),
            std::u16string::npos);
  // The model's rule marked the timer in the process's record, the one every reader takes.
  const ReduzidInq record = CRZDScannerSettingsBase::InquiryCopy();
  EXPECT_TRUE(caps::IsSet(InqBytes(record), sizeof record, caps::kInqERPTimer));
  ASSERT_TRUE(DriverCachedInquiry());
  EXPECT_EQ(InqBytes(*DriverCachedInquiry())[164], InqBytes(record)[164]);

  // The settings documents carry the range with the model's limits and the unit's time.
  for (uint32_t code : {cc::kSupportedSettings, cc::kCurrentSettings}) {
    SCOPED_TRACE(code);
    const std::u16string settings = DocumentThroughControl(handle, code);
    EXPECT_EQ(TextAt(settings, u"//HardwareSettings/ERPTimeout/Range/Value"), u"90");
    EXPECT_EQ(RangeAttribute(settings, u"Minimum"), u"0");
    EXPECT_EQ(RangeAttribute(settings, u"Maximum"), u"4320");
    EXPECT_EQ(RangeAttribute(settings, u"Default"), u"0");
  }

  // A second object of the process, opened while the first holds the unit, is bound from the
  // stored record and shows the same timer without asking the unit (its wait for the unit is
  // shortened: it goes on without it).
  {
    CScannerLLD second(path_);
    second.m_ulCmdTimeout = 100;
    TakeUnitLog();
    ASSERT_EQ(second.OpenScanner(), 0u);
    Bstr cached;
    ASSERT_EQ(second.GetScannerInfoString(cached.Out()), 0u);
    EXPECT_EQ(TextAt(cached.View(), u"/RZDScanner/ERPTimeout"), u"90");
    EXPECT_TRUE(TakeUnitLog().empty());
    EXPECT_EQ(second.CloseScanner(), 0u);
  }

  // Applying a new ERP time sends it; the next document shows what the unit holds.
  TakeUnitLog();
  const std::u16string change = HardwareSettings({{u"ERPTimeout", u"300"}});
  Bstr error;
  EXPECT_TRUE(::Control(handle, cc::kSetCurrentSettings, change.c_str(), nullptr, nullptr, 0, nullptr, nullptr,
                        error.Out()));
  EXPECT_EQ(ERPSends(TakeUnitLog()),
            (std::vector<std::string>{"new 12: AA 00 00 01 0F 00 00 00 00 00 06 00", "data 6: 00 00 00 06 01 2C"}));
  EXPECT_EQ(UnitCounters().at("erp"), 300u);
  EXPECT_EQ(TextAt(DocumentThroughControl(handle, cc::kScannerInfo), u"/RZDScanner/ERPTimeout"), u"300");
}

// Each open of the process holds the unit's ERP time within the model's limits: not above the
// maximum, not below the minimum of the region, not below the sleep time unless 0, and 0 when
// the machine disables power-off. The unit receives the value; the record keeps a value only
// when the unit took it.
TEST_F(DriverERPTimerTest, EveryOpenSendsTheERPTimeWithinTheModelsLimits) {
  StartUnit();
  struct Case {
    const char* name;
    const char* locale;
    std::string unitSetup;  // control line before the open
    bool powerOffDisabled;
    bool refused;                  // the unit refuses the ERP send once
    std::optional<uint16_t> sent;  // the ERP time the unit receives, if any
    uint16_t unitAfter;            // the unit's ERP time afterwards
    uint16_t recordAfter;          // the process's record afterwards
  };
  const std::vector<Case> cases = {
      {"above the maximum", "en_US.UTF-8", "counters sleep=15 erp=5000", false, false, 4320, 4320, 4320},
      {"below the sleep time", "en_US.UTF-8", "counters sleep=15 erp=10", false, false, 15, 15, 15},
      {"0 in a listed region stays", "en_US.UTF-8", "counters sleep=15 erp=0", false, false, std::nullopt, 0, 0},
      {"within the limits", "en_US.UTF-8", "counters sleep=15 erp=240", false, false, std::nullopt, 240, 240},
      {"0 outside the listed regions is raised to the minimum", "de_DE.UTF-8", "counters sleep=5 erp=0", false, false, 15,
       15, 15},
      {"power-off disabled on the machine", "en_US.UTF-8", "counters sleep=15 erp=240", true, false, 0, 0, 0},
      {"the unit refuses the send: the record keeps the unit's time", "en_US.UTF-8",
       "counters sleep=15 erp=5000", false, true, 4320, 5000, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // As a fresh process would see it.
    CRZDScannerSettingsBase::SetSettingsInitialised(false);
    driver_process::ForgetRecords();
    SetEnv("LC_ALL", c.locale);
    RegKey machine;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite", &machine), ERROR_SUCCESS);
    if (c.powerOffDisabled) {
      machine.SetDword(u"DisablePowerOff", 1);
    } else {
      machine.DeleteValue(u"DisablePowerOff");
    }
    ASSERT_EQ(Control(c.unitSetup).rfind("ok", 0), 0u);
    if (c.refused) {
      ASSERT_EQ(Control("refuse send 10F once").rfind("ok", 0), 0u);
    }
    TakeUnitLog();

    CScannerLLD driver(path_);
    ASSERT_EQ(driver.OpenScanner(), 0u);
    std::vector<std::string> expected;
    if (c.sent) {
      char data[40];
      std::snprintf(data, sizeof data, "data 6: 00 00 00 06 %02X %02X", *c.sent >> 8, *c.sent & 0xFF);
      expected = {"new 12: AA 00 00 01 0F 00 00 00 00 00 06 00", data};
    }
    EXPECT_EQ(ERPSends(TakeUnitLog()), expected);
    EXPECT_EQ(UnitCounters().at("erp"), c.unitAfter);
    EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().ERPTime}, c.recordAfter);
    Bstr info;
    ASSERT_EQ(driver.GetScannerInfoString(info.Out()), 0u);
    EXPECT_EQ(TextAt(info.View(), u"/RZDScanner/ERPTimeout"), FromUtf8(std::to_string(c.unitAfter)));
    EXPECT_EQ(driver.CloseScanner(), 0u);
    if (c.refused) Control("refuse off");
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
