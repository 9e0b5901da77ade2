// The feeder sensors of every kind of tray, the tray height and the hardware reset against the
// simulated unit, each with the whole sequence of blocks the unit received.
#include "maintenance_fixture.h"
#include "unit_commands.h"

#include "lowdrv/core/driver_names.h"

namespace rzd::lowdrv::test {
namespace {

using DriverMechanicsTest = MaintenanceTest;

// The model driver with two trays of the kind "Feeder" besides the model's feeder ("ADF"), each
// with a paper sensor: the rear tray and another one.
class TraysDriver final : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  using CScannerLLD::LLDHookA;
  void LLDHookA(MSXML6StoreBSTR& store) override {
    CScannerLLD::LLDHookA(store);
    for (const char16_t* tray : {u"RearTray", u"FrontTray"}) {
      ASSERT_TRUE(store.SelectNode(u"/Scanner"));
      ASSERT_TRUE(store.AddElement(u"Item"));
      store.SetAttribute(u"Name", u"DocumentSource");
      store.SetAttribute(u"ID", tray);
      store.SetAttribute(u"Type", u"Feeder");
      ASSERT_TRUE(store.AddElement(u"Sensors"));
      ASSERT_TRUE(store.AddElement(u"List"));
      ASSERT_TRUE(store.AddElement(u"Item"));
      store.SetAttribute(u"Name", u"Sensor");
      store.SetAttribute(u"ID", std::u16string(u"PaperPresent") + tray);
      store.SetAttribute(u"Type", u"Media");
      store.SetAttribute(u"Usage", u"Poll");
    }
  }
};

std::u16string Sensor(const std::u16string& id) { return u"//Item[@Name='Sensor'][@ID='" + id + u"']"; }

// The feeder status tells paper (bit 0) and the kind of the sheet on top (bits 0x30): an ADF
// sensor sees paper of neither kind, the rear tray's sensor a sheet of kind 0x10, any other
// feeder tray's a sheet of kind 0x20. Each poll is one media check (and, on an empty feeder, the
// sense the media check reads).
TEST_F(DriverMechanicsTest, FeederSensorsSeeThePaperOfTheirTray) {
  StartUnit();
  TraysDriver driver(path_);
  OpenAndLock(driver);
  const std::u16string adf = Sensor(u"PaperPresentADF");
  const std::u16string rear = Sensor(u"PaperPresentRearTray");
  const std::u16string front = Sensor(u"PaperPresentFrontTray");
  struct Case {
    const char* name;
    std::vector<std::string> unitSetup;
    uint32_t adf, rear, front;
  };
  const Case cases[] = {
      {"no paper", {}, 0, 0, 0},
      {"a sheet of no kind", {"load 1 duplex"}, 1, 0, 0},
      {"a sheet of kind a (0x20)", {"empty", "load 1 duplex kind=a"}, 0, 0, 1},
      {"a sheet of kind b (0x10)", {"empty", "load 1 duplex kind=b"}, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& line : c.unitSetup) ASSERT_EQ(Control(line).rfind("ok", 0), 0u) << line;
    const bool empty = c.adf + c.rear + c.front == 0;
    const std::vector<std::string> onePoll = empty ? std::vector<std::string>{unit::MediaCheck(), unit::SensePoll()}
                                                   : std::vector<std::string>{unit::MediaCheck()};
    for (const auto& [xpath, want] : {std::pair{adf, c.adf}, std::pair{rear, c.rear}, std::pair{front, c.front}}) {
      SCOPED_TRACE(ToUtf8(xpath));
      TakeUnitLog();
      uint32_t value = 0xEEEEEEEE;
      uint32_t size = sizeof value;
      EXPECT_EQ(driver.DoControlCode(cc::kPollSensor, xpath.c_str(), nullptr, nullptr, 0, &value, &size), 0u);
      EXPECT_EQ(value, want);
      EXPECT_EQ(size, 4u);
      EXPECT_EQ(TakeUnitLog(), onePoll);
    }
  }
  // A feeder check that fails is the poll's result, with the value 0.
  ASSERT_EQ(Control("empty").rfind("ok", 0), 0u);
  ASSERT_EQ(Control("cover open").rfind("ok", 0), 0u);
  TakeUnitLog();
  uint32_t value = 0xEEEEEEEE;
  EXPECT_EQ(driver.PollSensor(&value, rear.c_str()), lld::kCoverOpen);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(TakeUnitLog(), (std::vector<std::string>{unit::MediaCheck(), unit::SensePoll()}));
}

// The tray height of the new set: one SEND 0xD5 of six bytes (the height big-endian at bytes
// 4-5), which the information document then reads back from the unit. A height the unit refuses
// is the unit's code; the driver still keeps the height it was asked for.
TEST_F(DriverMechanicsTest, TheNewSetSendsTheTrayHeightAndTheInformationReadsItBack) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  auto setHeight = [&](uint16_t height) {
    uint8_t variant[16] = {2, 0};  // an automation variant of type VT_I2, its value at byte 8
    variant[8] = static_cast<uint8_t>(height);
    variant[9] = static_cast<uint8_t>(height >> 8);
    return driver.DoControlCode(cc::kSetTrayHeight, nullptr, nullptr, variant, sizeof variant, nullptr, nullptr);
  };
  auto infoHeight = [&] {
    Bstr info;
    EXPECT_EQ(driver.GetScannerInfoString(info.Out()), 0u);
    return TextAt(info.View(), u"/RZDScanner/TrayHeight");
  };
  TakeUnitLog();
  EXPECT_EQ(setHeight(2), 0u);
  EXPECT_EQ(TakeUnitLog(), (std::vector<std::string>{unit::Send(0xD5, 6), "data 6: 00 00 00 06 00 02"}));
  EXPECT_EQ(driver.m_wLastTrayHeight, 2u);
  EXPECT_EQ(infoHeight(), u"2");

  TakeUnitLog();
  EXPECT_EQ(setHeight(0x0104), 12u);  // "Invalid Field in Parameter List"
  EXPECT_EQ(TakeUnitLog(),
            (std::vector<std::string>{unit::Send(0xD5, 6), "data 6: 00 00 00 06 01 04", unit::SenseAfterCheck()}));
  EXPECT_EQ(driver.m_wLastTrayHeight, 0x0104u);
  EXPECT_EQ(infoHeight(), u"2");  // the unit's own height
}

// The hardware reset: only while the object holds the unit; one reset command (0xFF, no data)
// that gives up the unit's reservations; the wake-up event is set after it, whatever its
// result; a reset the unit does not answer is the transport's code.
TEST_F(DriverMechanicsTest, TheHardwareResetResetsAHeldUnit) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  ObjectResult<Event> wakeup = Event::Open(WakeupEventName(kModelSemaphorePrefix, kFriendlyName));
  ASSERT_TRUE(wakeup);
  wakeup.handle.Wait(0);  // the open set it
  TakeUnitLog();
  EXPECT_EQ(driver.DoControlCode(cc::kResetHardware, nullptr, nullptr, nullptr, 0, nullptr, nullptr),
            lld::kWrongSequence);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(wakeup.handle.Wait(0), WAIT_OBJECT_0);

  const uint32_t timeout = 5000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  ASSERT_TRUE(driver.m_ReduzidScanner.ReserveUnit(2));
  ASSERT_NE(Control("state").find("reserved=batch"), std::string::npos);
  TakeUnitLog();
  EXPECT_EQ(driver.DoControlCode(cc::kResetHardware, nullptr, nullptr, nullptr, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(TakeUnitLog(), std::vector<std::string>{unit::ResetUnit()});
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
  EXPECT_EQ(wakeup.handle.Wait(0), WAIT_OBJECT_0);

  ASSERT_EQ(Control("halt once").rfind("ok", 0), 0u);
  EXPECT_EQ(driver.DoControlCode(cc::kResetHardware, nullptr, nullptr, nullptr, 0, nullptr, nullptr), lld::kUnreachable);
  EXPECT_EQ(wakeup.handle.Wait(0), WAIT_OBJECT_0);
  TakeUnitLog();
  EXPECT_EQ(driver.ResetHardware(), 0u);  // the unit answers again
  EXPECT_EQ(TakeUnitLog(), std::vector<std::string>{unit::ResetUnit()});
}

}  // namespace
}  // namespace rzd::lowdrv::test
