// Sensors, mechanical controls and the front-panel indicator against the simulated unit, and the
// operations the classic command set cannot do.
#include "maintenance_fixture.h"
#include "unit_commands.h"

namespace rzd::lowdrv::test {
namespace {

using DriverSensorTest = MaintenanceTest;

// The model driver with the elements this model's description lacks but the operations serve:
// a lock sensor on the feeder, a sensor on a source of another kind, the four controls and an
// LED indicator. They are added in the engine driver's last pass over the supported document.
class ControlsDriver : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  using CScannerLLD::LLDHookA;
  void LLDHookA(MSXML6StoreBSTR& store) override {
    auto item = [&](std::u16string_view parent, std::vector<std::pair<std::u16string, std::u16string>> attributes) {
      ASSERT_TRUE(store.SelectNode(parent)) << ToUtf8(parent);
      ASSERT_TRUE(store.AddElement(u"Item"));
      for (const auto& [name, value] : attributes) store.SetAttribute(name, value);
    };
    item(u"//Item[@ID='ADF']/Sensors/List",
         {{u"Name", u"Sensor"}, {u"ID", u"Lock1"}, {u"Type", u"Lock"}, {u"Usage", u"Poll"}});
    item(u"//Item[@ID='ADF']/Sensors/List",
         {{u"Name", u"Sensor"}, {u"ID", u"Odd1"}, {u"Type", u"Temperature"}, {u"Usage", u"Poll"}});
    ASSERT_TRUE(store.SelectNode(u"/Scanner"));
    ASSERT_TRUE(store.AddElement(u"Controls"));
    ASSERT_TRUE(store.AddElement(u"List"));
    for (const char16_t* type : {u"Load", u"Eject", u"Rewind", u"Lamp", u"Shake"})
      item(u"/Scanner/Controls/List", {{u"Name", u"Control"}, {u"ID", std::u16string(type) + u"1"}, {u"Type", type}});
    item(u"/Scanner/Indicators/List", {{u"Name", u"Indicator"}, {u"ID", u"Led1"}, {u"Type", u"LED"}});
    ASSERT_TRUE(store.SelectNode(u"/Scanner"));
    ASSERT_TRUE(store.AddElement(u"Tray"));
    store.SetAttribute(u"Type", u"Flatbed");
    ASSERT_TRUE(store.AddElement(u"Sensors"));
    ASSERT_TRUE(store.AddElement(u"List"));
    item(u"/Scanner/Tray/Sensors/List", {{u"Name", u"Sensor"}, {u"ID", u"Glass1"}, {u"Type", u"Media"}, {u"Usage", u"Poll"}});
  }
};

// The classic command set on the same unit.
class ClassicDriver : public ControlsDriver {
 public:
  explicit ClassicDriver(std::u16string_view path) : ControlsDriver(path) { m_bNewCommandSet = 0; }
};

struct Polled {
  LLDError result;
  uint32_t value;
};
Polled Poll(CRZDREduzidLLD& driver, const std::u16string& xpath) {
  uint32_t value = 0xEEEEEEEE;
  uint32_t size = sizeof value;
  const LLDError result = driver.DoControlCode(cc::kPollSensor, xpath.c_str(), nullptr, nullptr, 0, &value, &size);
  return {result, result == 0 ? value : 0xEEEEEEEE};
}

LLDError Exec(CRZDREduzidLLD& driver, const std::u16string& xpath, uint32_t on, uint32_t size = 4) {
  return driver.DoControlCode(cc::kExecControl, xpath.c_str(), nullptr, &on, size, nullptr, nullptr);
}

std::u16string Sensor(const char16_t* id) { return u"//Item[@Name='Sensor'][@ID='" + std::u16string(id) + u"']"; }
std::u16string ControlItem(const char16_t* id) { return u"/Scanner/Controls/List/Item[@ID='" + std::u16string(id) + u"']"; }

TEST_F(DriverSensorTest, SensorsReadTheFeederTheCoverAndTheLock) {
  StartUnit();
  ControlsDriver driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(Poll(driver, Sensor(u"Cover1")).result, lld::kWrongSequence);  // not locked
  const uint32_t timeout = 5000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);

  struct Case {
    const char* name;
    std::vector<std::string> unit;  // control lines first
    std::u16string xpath;
    LLDError result;
    uint32_t value;
  };
  const std::vector<Case> cases = {
      {"no paper", {}, Sensor(u"PaperPresentADF"), 0, 0},
      {"paper", {"load 2"}, Sensor(u"PaperPresentADF"), 0, 1},
      {"cover closed", {}, Sensor(u"Cover1"), 0, 0},
      {"cover open", {"cover open"}, Sensor(u"Cover1"), 0, 1},
      {"cover open, the lock reads the cover's code", {}, Sensor(u"Lock1"), 4, 0},
      {"lock open", {"cover close"}, Sensor(u"Lock1"), 0, 0},
      {"lock closed", {"lock on"}, Sensor(u"Lock1"), 0, 1},
      {"the lock is not an open cover", {}, Sensor(u"Cover1"), 50, 0},
      {"a sensor set up, not polled", {"lock off"}, Sensor(u"Ultrasonic"), lld::kInternal, 0},
      {"a sensor of an unknown kind", {}, Sensor(u"Odd1"), lld::kInvalidXmlValue, 0},
      {"media on a source that is no feeder", {}, Sensor(u"Glass1"), lld::kInvalidXmlValue, 0},
      {"no such element", {}, Sensor(u"Nothing"), lld::kInvalidXmlValue, 0},
      {"not an XPath", {}, u"//Item[", lld::kInvalidXmlValue, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& line : c.unit) ASSERT_EQ(Control(line).rfind("ok", 0), 0u) << line;
    const Polled polled = Poll(driver, c.xpath);
    EXPECT_EQ(polled.result, c.result);
    if (c.result == 0) {
      EXPECT_EQ(polled.value, c.value);
    }
  }
}

// Every control against the unit, with the whole record of what the unit received: a switch
// that does nothing, a control the new set has no command for and a refused element send
// nothing at all; a control that moves paper asks the feeder first and gives a reserved unit
// (and a started imprinter) back before the paper release.
TEST_F(DriverSensorTest, ControlsLoadEjectRewindAndTheLamp) {
  StartUnit();
  ControlsDriver driver(path_);
  OpenAndLock(driver);
  driver.m_pSettings->m_ImprParam.bEnabled = 1;  // the imprinter option on
  const std::string eject = unit::Send(0x99, 7);
  const std::string ejectData = "data 7: 00 00 02 01 00 00 00";
  const std::string rewindData = "data 7: 00 00 02 02 00 00 00";
  // The imprinter stopped: disabled (0x20C, action 0), then stopped (0x20D, action 2).
  const std::vector<std::string> imprinterStop = {unit::Send(0x20C, 8), "data 8: 00 00 01 00 00 00 08 00",
                                                  unit::Send(0x20D, 8), "data 8: 00 00 01 00 00 00 08 02"};
  struct Case {
    const char* name;
    std::vector<std::string> unitSetup;  // control lines before the call
    bool reserved;                       // the unit reserved and the imprinter started
    std::u16string xpath;
    uint32_t on;
    LLDError result;
    std::vector<std::string> sent;       // every block the unit received, in order
  };
  std::vector<std::string> reservedEject = {unit::MediaCheck(), unit::Release(2)};
  unit::Append(reservedEject, imprinterStop);
  unit::Append(reservedEject, {eject, ejectData});
  std::vector<std::string> reservedRewind = {unit::MediaCheck(), unit::Release(2)};
  unit::Append(reservedRewind, imprinterStop);
  unit::Append(reservedRewind, {eject, rewindData});
  const std::vector<Case> cases = {
      {"load checks the feeder only", {"load 1"}, false, ControlItem(u"Load1"), 1, 0, {unit::MediaCheck()}},
      {"load checks the feeder only, also when reserved", {}, true, ControlItem(u"Load1"), 1, 0, {unit::MediaCheck()}},
      {"load on an empty feeder also reads the sense", {"empty"}, false, ControlItem(u"Load1"), 1, 0,
       {unit::MediaCheck(), unit::SensePoll()}},
      {"eject off does nothing", {"load 1"}, true, ControlItem(u"Eject1"), 0, 0, {}},
      {"eject", {}, false, ControlItem(u"Eject1"), 1, 0, {unit::MediaCheck(), eject, ejectData}},
      {"eject gives the reserved unit and the imprinter back first", {}, true, ControlItem(u"Eject1"), 1, 0,
       reservedEject},
      {"eject after a failed feeder check moves nothing", {"empty", "cover open"}, true, ControlItem(u"Eject1"), 1, 0,
       {unit::MediaCheck(), unit::SensePoll()}},
      {"rewind off does nothing", {"cover close", "load 1"}, true, ControlItem(u"Rewind1"), 0, 0, {}},
      {"rewind", {}, false, ControlItem(u"Rewind1"), 1, 0, {unit::MediaCheck(), eject, rewindData}},
      {"rewind gives the reserved unit and the imprinter back first", {}, true, ControlItem(u"Rewind1"), 1, 0,
       reservedRewind},
      {"the new set has no lamp command", {}, true, ControlItem(u"Lamp1"), 1, 0, {}},
      {"the new set has no lamp command, off", {}, false, ControlItem(u"Lamp1"), 0, 0, {}},
      {"an unknown control", {}, true, ControlItem(u"Shake1"), 1, lld::kInvalidXmlValue, {}},
      {"an element that is no control", {}, true, Sensor(u"Cover1"), 1, lld::kInvalidXmlValue, {}},
      {"no such element", {}, true, ControlItem(u"Nothing1"), 1, lld::kInvalidXmlValue, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& line : c.unitSetup) ASSERT_EQ(Control(line).rfind("ok", 0), 0u) << line;
    driver.m_bUnitReserved = c.reserved ? 1 : 0;
    driver.m_bImprinterStarted = c.reserved ? 1 : 0;
    TakeUnitLog();
    EXPECT_EQ(Exec(driver, c.xpath, c.on), c.result);
    EXPECT_EQ(unit::AsExpected(TakeUnitLog(), c.sent), c.sent);
    // Only a paper release that ran gives the reservation and the imprinter back.
    const bool released = c.sent.size() > 2 && c.sent[1] == unit::Release(2);
    EXPECT_EQ(driver.m_bUnitReserved, c.reserved && !released ? 1 : 0);
    EXPECT_EQ(driver.m_bImprinterStarted, c.reserved && !released ? 1 : 0);
  }
  TakeUnitLog();
  EXPECT_EQ(Exec(driver, ControlItem(u"Eject1"), 1, 3), lld::kInvalidParameter);
  uint32_t on = 1;
  EXPECT_EQ(driver.ExecControl(&on, 3, ControlItem(u"Eject1").c_str()), lld::kInvalidParameter);
  EXPECT_TRUE(TakeUnitLog().empty());
}

TEST_F(DriverSensorTest, TheSegmentIndicatorIsSetAndReadBack) {
  StartUnit();
  ControlsDriver driver(path_);
  OpenAndLock(driver);
  const std::u16string segment = u"/Scanner/Indicators/List/Item[@ID='Segment1']";
  const std::u16string led = u"/Scanner/Indicators/List/Item[@ID='Led1']";
  auto get = [&](const std::u16string& xpath, uint32_t size = 4) {
    uint32_t value = 0xEEEEEEEE;
    const LLDError result = driver.GetIndicator(&value, &size, xpath.c_str());
    return std::make_pair(result, result == 0 ? value : size);
  };
  auto set = [&](const std::u16string& xpath, uint32_t number, uint32_t size = 4) {
    return driver.DoControlCode(cc::kSetIndicator, xpath.c_str(), nullptr, &number, size, nullptr, nullptr);
  };
  EXPECT_EQ(get(segment), std::make_pair(LLDError{0}, uint32_t{1}));  // the unit's function number
  TakeUnitLog();
  EXPECT_EQ(set(segment, 10), lld::kInvalidXmlValue);
  EXPECT_EQ(set(segment, 9, 3), lld::kInvalidParameter);
  EXPECT_EQ(set(led, 3), lld::kInvalidXmlValue);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(set(segment, 9), 0u);
  const std::vector<std::string> log = TakeUnitLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], SendBlockOf(0xA4) + " 00 00 00 00 00 0C 00");
  EXPECT_EQ(log[1], "data 12: 00 00 02 0C 09 00 00 00 00 00 00 00");
  EXPECT_EQ(get(segment), std::make_pair(LLDError{0}, uint32_t{9}));
  EXPECT_EQ(get(led).first, lld::kInvalidXmlValue);
  EXPECT_EQ(get(segment, 3).first, lld::kInvalidParameter);
  EXPECT_EQ(get(u"//Item[@ID='Cover1']").first, lld::kInvalidXmlValue);  // no type an indicator has
}

TEST_F(DriverSensorTest, TheClassicSetSendsNoTrayLcdOrScreenAndSaysSo) {
  StartUnit();
  ClassicDriver driver(path_);
  OpenAndLock(driver);
  TakeUnitLog();
  uint8_t variant[16] = {2, 0};
  variant[8] = 2;
  EXPECT_EQ(driver.DoControlCode(cc::kSetTrayHeight, nullptr, nullptr, variant, sizeof variant, nullptr, nullptr),
            lld::kNotImplemented);
  EXPECT_EQ(driver.SendLCDString(5001, u"1.0"), lld::kNotImplemented);
  std::vector<uint8_t> screen(1086, 0x11);
  EXPECT_EQ(driver.DoControlCode(cc::kWriteLcdScreen, u"F1N1", nullptr, screen.data(),
                                 static_cast<uint32_t>(screen.size()), nullptr, nullptr),
            lld::kNotImplemented);
  EXPECT_TRUE(TakeUnitLog().empty());
  // The lamp and the eject have classic commands.
  EXPECT_EQ(Exec(driver, ControlItem(u"Lamp1"), 0), 0u);
  std::vector<std::string> log = TakeUnitLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "classic 10: 2A 00 A0 00 00 00 00 00 01 00");
  EXPECT_EQ(log[1], "data 1: 00");
  Control("load 1");
  EXPECT_EQ(Exec(driver, ControlItem(u"Eject1"), 1), 0u);
  log = TakeUnitLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("classic 10: 08", 0), 0u);  // the media check
  EXPECT_EQ(log[1], "classic 10: 31 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(driver.CloseScanner(), 0u);
}

}  // namespace
}  // namespace rzd::lowdrv::test
