// Maintenance counters and LCD screen uploads against the simulated unit.
#include "driver/lcd_slot.h"
#include "maintenance_fixture.h"

#include <cstddef>

namespace rzd::lowdrv::test {
namespace {

using DriverMaintenanceTest = MaintenanceTest;

// Every counter of the unit set to a value of its own.
const char kAllCounters[] =
    "counters pad=11 adfsimplex=12 adfduplex=13 flatbed=14 roller=15 multifeed=16 jam=17 reverse=18 pickup=19 "
    "friction=20 clean=21";

LLDError WriteCounter(CRZDREduzidLLD& driver, const std::u16string& name, uint32_t value, uint32_t size = 4) {
  const std::u16string xpath = u"/RZDScanner/" + name;
  return driver.DoControlCode(cc::kResetCounter, xpath.c_str(), nullptr, &value, size, nullptr, nullptr);
}

TEST_F(DriverMaintenanceTest, EachCounterNameWritesOnlyItsOwnField) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  const std::vector<std::pair<std::u16string, std::string>> names = {
      {u"PadScanCount", "pad"},           {u"RollerScanCount", "roller"},     {u"ADFSimplexCount", "adfsimplex"},
      {u"ADFDuplexCount", "adfduplex"},   {u"ADFMultifeedCount", "multifeed"}, {u"ADFJamCount", "jam"},
      {u"FlatbedScanCount", "flatbed"},   {u"ReverseRollerCount", "reverse"}, {u"PickupRollerCount", "pickup"},
      {u"FrictionRollerCount", "friction"}, {u"CleanCounter", "clean"},
  };
  for (const auto& [element, unitName] : names) {
    SCOPED_TRACE(ToUtf8(element));
    ASSERT_EQ(Control(kAllCounters).rfind("ok", 0), 0u);
    const std::map<std::string, uint32_t> before = UnitCounters();
    ASSERT_EQ(WriteCounter(driver, element, 0), 0u);
    std::map<std::string, uint32_t> expected = before;
    expected[unitName] = 0;
    EXPECT_EQ(UnitCounters(), expected);
  }
  // Any value, not only 0; the process's record follows the unit.
  ASSERT_EQ(WriteCounter(driver, u"CleanCounter", 4000000000u), 0u);
  EXPECT_EQ(UnitCounters().at("clean"), 4000000000u);
  EXPECT_EQ(uint32_t{CRZDScannerSettingsBase::NVMDataCopy().CleanCounter}, 4000000000u);
}

TEST_F(DriverMaintenanceTest, ACounterWriteCarriesOnlyWhatTheUnitHas) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  // The process's record holds a time the unit never got (say, set by a classic-set object).
  CRZDScannerSettingsBase::SetNVMDataWord(offsetof(ReduzidNVMData, PowerSavingTime), 99);
  Control("counters clean=5");
  ASSERT_EQ(WriteCounter(driver, u"CleanCounter", 0), 0u);
  const std::map<std::string, uint32_t> unit = UnitCounters();
  EXPECT_EQ(unit.at("clean"), 0u);
  EXPECT_EQ(unit.at("sleep"), 15u);
  EXPECT_EQ(uint32_t{CRZDScannerSettingsBase::NVMDataCopy().PowerSavingTime}, 15u);
}

TEST_F(DriverMaintenanceTest, CounterWritesThatCannotBeMadeChangeNothing) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  Control(kAllCounters);
  EXPECT_EQ(WriteCounter(driver, u"PadScanCount", 0), lld::kWrongSequence);  // not locked
  const uint32_t timeout = 5000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  const std::map<std::string, uint32_t> before = UnitCounters();
  struct Case {
    const char* name;
    std::u16string element;
    uint32_t size;
    LLDError result;
  };
  const std::vector<Case> cases = {
      {"a short value", u"PadScanCount", 3, lld::kInvalidParameter},
      {"no such element", u"NoCounter", 4, lld::kInvalidXmlValue},
      {"the other name of the pad counter is not in the document", u"SeparationRollerScanCount", 4,
       lld::kInvalidXmlValue},
      {"an element that is no counter", u"PowerSaveTimeout", 4, lld::kInvalidXmlValue},
      {"the sum of two counters", u"ADFCount", 4, lld::kInvalidXmlValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TakeUnitLog();
    EXPECT_EQ(WriteCounter(driver, c.element, 0, c.size), c.result);
    EXPECT_EQ(CountBlocks(TakeUnitLog(), SendBlockOf(0x85)), 0u);
  }
  // The unit refuses the record: its code, and the process keeps the record it had.
  Control("refuse send 85");
  EXPECT_EQ(WriteCounter(driver, u"PadScanCount", 0), 35u);
  Control("refuse off");
  EXPECT_EQ(UnitCounters(), before);
  EXPECT_EQ(uint32_t{CRZDScannerSettingsBase::NVMDataCopy().PadScanCount}, 11u);
}

TEST(LcdSlotString, ReadsTheSlotAndTheScreenCountAsTheFormatDoes) {
  struct Case {
    const char16_t* text;
    std::optional<std::pair<int64_t, int64_t>> slot;
  };
  const std::vector<Case> cases = {
      {u"F3N2", std::make_pair(3, 2)},   {u"F3", std::make_pair(3, 1)},       {u"F 3N 2", std::make_pair(3, 2)},
      {u"F+3N-2", std::make_pair(3, -2)}, {u"F3X2", std::make_pair(3, 1)},     {u"F3N", std::make_pair(3, 1)},
      {u"F-1", std::make_pair(-1, 1)},   {u"F99999999999999999999", std::make_pair(int64_t{9999999999999}, 1)},  // saturated
      {u"", std::nullopt},               {u"X3", std::nullopt},               {u"F", std::nullopt},
      {u" F3", std::nullopt},            {u"f3", std::nullopt},               {u"FN3", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text));
    const std::optional<LcdSlot> slot = ParseLcdSlot(c.text);
    ASSERT_EQ(slot.has_value(), c.slot.has_value());
    if (slot) {
      EXPECT_EQ(slot->slot, c.slot->first);
      EXPECT_EQ(slot->screens, c.slot->second);
    }
  }
}

TEST_F(DriverMaintenanceTest, ScreensGoToTheirSlotPaddedToWholeScreens) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);  // the service uploads from its own object, unlocked
  struct Case {
    const char* name;
    const char16_t* slot;  // null: no string
    size_t bytes;
    LLDError result;
    std::string header;  // the record's first 10 bytes as sent; empty: nothing sent
  };
  const std::vector<Case> cases = {
      {"two screens in slot 3", u"F3N2", 2172, 0, "00 00 02 00 00 08 86 0F A3 02"},
      {"one screen by default", u"F3", 1086, 0, "00 00 02 00 00 04 48 0F A3 01"},
      {"a profile screen of 35408 bytes in 33 blocks", u"F1N33", 35408, 0, "00 00 02 00 00 8C 08 0F A1 21"},
      {"blanks before the numbers", u"F 7N 1", 100, 0, "00 00 02 00 00 04 48 0F A7 01"},
      {"the highest slot", u"F61535", 10, 0, "00 00 02 00 00 04 48 FF FF 01"},
      {"no string", nullptr, 1086, lld::kNotImplemented, ""},
      {"an empty string", u"", 1086, lld::kNotImplemented, ""},
      {"no slot number", u"X3", 1086, lld::kNotImplemented, ""},
      {"no screens", u"F3N0", 1086, lld::kInvalidParameter, ""},
      {"more screens than a byte counts", u"F3N256", 1086, lld::kInvalidParameter, ""},
      {"a negative slot", u"F-1", 1086, lld::kInvalidParameter, ""},
      {"a slot past the 16 bits", u"F61536", 1086, lld::kInvalidParameter, ""},
      {"more bytes than the screens hold", u"F3N1", 1087, lld::kInvalidParameter, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bitmap(c.bytes);
    for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<uint8_t>(i * 7 + 1);
    TakeUnitLog();
    EXPECT_EQ(driver.DoControlCode(cc::kWriteLcdScreen, c.slot, nullptr, bitmap.data(),
                                   static_cast<uint32_t>(bitmap.size()), nullptr, nullptr),
              c.result);
    const std::vector<std::string> log = TakeUnitLog();
    if (c.header.empty()) {
      EXPECT_TRUE(log.empty());
      continue;
    }
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind(SendBlockOf(0xF0), 0), 0u);
    // "data <size>: <bytes>": the header, the bitmap, zeros up to whole screens.
    const std::string& data = log[1];
    const size_t colon = data.find(':');
    const size_t sent = std::stoul(data.substr(5, colon - 5));
    const size_t screens = std::stoul(c.header.substr(27, 2), nullptr, 16);
    EXPECT_EQ(sent, 10 + 1086 * screens);
    EXPECT_EQ(data.substr(colon + 2, c.header.size()), c.header);
    std::vector<uint8_t> bytes;
    for (size_t at = colon + 2; at + 1 < data.size(); at += 3) bytes.push_back(static_cast<uint8_t>(std::stoul(data.substr(at, 2), nullptr, 16)));
    ASSERT_EQ(bytes.size(), sent);
    EXPECT_TRUE(std::equal(bitmap.begin(), bitmap.end(), bytes.begin() + 10));
    EXPECT_TRUE(std::all_of(bytes.begin() + 10 + static_cast<std::ptrdiff_t>(bitmap.size()), bytes.end(),
                            [](uint8_t b) { return b == 0; }));
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
