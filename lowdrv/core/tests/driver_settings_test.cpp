// The settings documents of the unit and applying settings with the power time-outs that live in
// the unit: what the unit receives for each change, and what is put back when it does not take
// them.
#include "maintenance_fixture.h"

namespace rzd::lowdrv::test {
namespace {

using DriverSettingsTest = MaintenanceTest;

const std::string kSendSleep = SendBlockOf(0x105);
const std::string kSendOff = SendBlockOf(0x106);
const std::string kSendERP = SendBlockOf(0x10F);

// The power time-outs of the current settings document.
struct DocumentTimes {
  std::optional<std::u16string> sleep, off;
};
DocumentTimes TimesOf(CScannerLLD& driver) {
  Bstr current;
  EXPECT_EQ(driver.GetScannerCurrentString(current.Out()), 0u);
  return {TextAt(current.View(), u"//SleepTimeout/Range/Value"), TextAt(current.View(), u"//OffTimeout/Range/Value")};
}

TEST_F(DriverSettingsTest, EachTimeOutChangeReachesTheUnitOnceAndOnlyWhenItChanges) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  ObjectResult<Event> wakeup = Event::Open(u"Global\\M48tzLLD_WakeupTransaction" + std::u16string(u"Quarx M48tz Scanner 2"));
  ASSERT_TRUE(wakeup);
  wakeup.handle.Wait(0);

  struct Case {
    const char* name;
    std::u16string settings;
    LLDError result;
    size_t sleepSends, offSends, erpSends;
    uint32_t sleep, off, erp;  // the unit's times afterwards
    bool wakes;
  };
  const std::vector<Case> cases = {
      {"sleep only", HardwareSettings({{u"SleepTimeout", u"30"}}), 0, 1, 0, 0, 30, 240, 240, true},
      {"the same value again", HardwareSettings({{u"SleepTimeout", u"30"}}), 0, 0, 0, 0, 30, 240, 240, true},
      {"adjusted (0x800C) with a sleep change", HardwareSettings({{u"SleepTimeout", u"300"}}), lld::kValueAdjusted, 1,
       0, 0, 120, 240, 240, true},
      {"power-off and ERP", HardwareSettings({{u"OffTimeout", u"600"}, {u"ERPTimeout", u"200"}}), 0, 0, 1, 1, 120,
       600, 200, true},
      {"an off time below the sleep time is raised to it", HardwareSettings({{u"OffTimeout", u"3"}}), 0, 0, 1, 0,
       120, 120, 200, true},
      {"no time-out named: nothing sent, no wake-up",
       u"<Scanner><HardwareSettings><PowerSupply><Enum><Value IsCurrent=\"true\">External</Value></Enum>"
       u"</PowerSupply></HardwareSettings></Scanner>",
       0, 0, 0, 0, 120, 120, 200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TakeUnitLog();
    EXPECT_EQ(driver.DoControlCode(cc::kSetCurrentSettings, c.settings.c_str(), nullptr, nullptr, 0, nullptr, nullptr),
              c.result);
    const std::vector<std::string> log = TakeUnitLog();
    EXPECT_EQ(CountBlocks(log, kSendSleep), c.sleepSends);
    EXPECT_EQ(CountBlocks(log, kSendOff), c.offSends);
    EXPECT_EQ(CountBlocks(log, kSendERP), c.erpSends);
    const std::map<std::string, uint32_t> unit = UnitCounters();
    EXPECT_EQ(unit.at("sleep"), c.sleep);
    EXPECT_EQ(unit.at("off"), c.off);
    EXPECT_EQ(unit.at("erp"), c.erp);
    // The record and the document agree with the unit.
    const ReduzidNVMData cached = CRZDScannerSettingsBase::NVMDataCopy();
    EXPECT_EQ(uint32_t{cached.PowerSavingTime}, c.sleep);
    EXPECT_EQ(uint32_t{cached.PowerOffTime}, c.off);
    EXPECT_EQ(TimesOf(driver).sleep, FromUtf8(std::to_string(c.sleep)));
    EXPECT_EQ(wakeup.handle.Wait(0) == WAIT_OBJECT_0, c.wakes);
  }
}

TEST_F(DriverSettingsTest, AnOpenObjectTakesTheUnitForTheSendAndGivesItBack) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  TakeUnitLog();
  EXPECT_EQ(driver.SetScannerCurrentString(HardwareSettings({{u"SleepTimeout", u"45"}}).c_str()), 0u);
  EXPECT_EQ(CountBlocks(TakeUnitLog(), kSendSleep), 1u);
  EXPECT_EQ(UnitCounters().at("sleep"), 45u);
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_FALSE(driver.HoldsSemaphore());
}

TEST_F(DriverSettingsTest, WhenTheUnitDoesNotTakeTheTimesTheRecordAndTheDocumentArePutBack) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  Event held = NamedEvent("held");
  Event release = NamedEvent("release");

  struct Case {
    const char* name;
    std::u16string settings;
    std::vector<std::string> unitSetup;  // control lines before the call
    bool heldElsewhere;
    LLDError result;
    size_t sleepSends;  // what the unit received (a refused send counts)
  };
  const std::vector<Case> cases = {
      {"the lock is held by another process, sleep changed", HardwareSettings({{u"SleepTimeout", u"30"}}), {}, true,
       lld::kInUse, 0},
      {"the lock is held by another process, only the off time changed", HardwareSettings({{u"OffTimeout", u"600"}}),
       {}, true, lld::kInUse, 0},
      {"the unit refuses the sleep time", HardwareSettings({{u"SleepTimeout", u"30"}}), {"refuse send 105"}, false,
       35, 1},
      {"the unit takes the sleep time and refuses the off time: the sleep time goes back",
       HardwareSettings({{u"SleepTimeout", u"30"}, {u"OffTimeout", u"600"}}), {"refuse send 106"}, false, 35, 2},
      {"settings that do not parse", u"<Scanner><HardwareSettings>", {}, false, lld::kInvalidXml, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& line : c.unitSetup) ASSERT_EQ(Control(line).rfind("ok", 0), 0u);
    const size_t probe = probes_.size();
    if (c.heldElsewhere) {
      held.Reset();
      release.Reset();
      StartProbe({"open", "lock", "5000", "signal", "held", "wait", "release", "unlock", "close"});
      ASSERT_TRUE(WaitFor(held));
    }
    TakeUnitLog();
    EXPECT_EQ(driver.SetScannerCurrentString(c.settings.c_str()), c.result);
    EXPECT_EQ(CountBlocks(TakeUnitLog(), kSendSleep), c.sleepSends);
    if (c.heldElsewhere) {
      release.Set();
      ASSERT_EQ(WaitProbe(probe), 0);
    }
    Control("refuse off");
    const ReduzidNVMData cached = CRZDScannerSettingsBase::NVMDataCopy();
    EXPECT_EQ(uint32_t{cached.PowerSavingTime}, 15u);
    EXPECT_EQ(uint32_t{cached.PowerOffTime}, 240u);
    const DocumentTimes times = TimesOf(driver);
    EXPECT_EQ(times.sleep, u"15");
    EXPECT_EQ(times.off, u"240");
    const std::map<std::string, uint32_t> unit = UnitCounters();
    EXPECT_EQ(unit.at("sleep"), 15u);
    EXPECT_EQ(unit.at("off"), 240u);
    EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  }
}

TEST_F(DriverSettingsTest, DocumentsAndTheirStates) {
  StartUnit();
  CScannerLLD driver(path_);
  Bstr document;
  // Closed: the settings are not built yet, and a reset or an apply is out of sequence.
  EXPECT_EQ(driver.ResetCurrentSettings(document.Out()), lld::kWrongSequence);
  EXPECT_EQ(driver.SetScannerCurrentString(u"<Scanner/>"), lld::kWrongSequence);
  OpenAndLock(driver);
  ASSERT_EQ(driver.GetScannerSupportedString(document.Out()), 0u);
  EXPECT_EQ(TextAt(document.View(), u"//SleepTimeout/Range/Value"), u"15");
  EXPECT_TRUE(TextAt(document.View(), u"//Sensors//Item[@ID='PaperPresentADF']"));
  ASSERT_EQ(driver.SetScannerCurrentString(HardwareSettings({{u"SleepTimeout", u"60"}}).c_str()), 0u);
  ASSERT_EQ(driver.GetScannerCurrentString(document.Out()), 0u);
  EXPECT_EQ(TextAt(document.View(), u"//SleepTimeout/Range/Value"), u"60");
  // A reset builds the documents again from the unit's record, which now holds 60.
  ASSERT_EQ(driver.ResetCurrentSettings(document.Out()), 0u);
  EXPECT_EQ(TextAt(document.View(), u"//SleepTimeout/Range/Value"), u"60");
  EXPECT_FALSE(TextAt(document.View(), u"//Sensors//Item[@ID='PaperPresentADF']"));  // a polled sensor
}

}  // namespace
}  // namespace rzd::lowdrv::test
