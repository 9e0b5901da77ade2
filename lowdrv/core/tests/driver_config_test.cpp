// The configuration read at open, against the simulated unit: what the settings are built from
// (the model's inquiry bytes and per-model values before the first window descriptions), the
// stored records and LCD string table, and the power time-outs held within their limits.
#include "driver_unit_fixture.h"

#include "lowdrv/core/driver_process.h"

namespace rzd::lowdrv::test {
namespace {

const char kSendPowerSaving[] = "new 12: AA 00 00 01 05 00 00 00 00 00 06 00";
const char kSendPowerOff[] = "new 12: AA 00 00 01 06 00 00 00 00 00 06 00";

// The blocks of `log` from the first that begins with `prefix` on.
std::vector<std::string> From(const std::vector<std::string>& log, const std::string& prefix) {
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind(prefix, 0) == 0) return {log.begin() + static_cast<std::ptrdiff_t>(i), log.end()};
  }
  return {};
}

// A model driver that notes what the settings object holds when it first asks the driver about
// the supported settings, which happens inside Init, before any window description is built.
class InitWatchingDriver : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  using CScannerLLD::LLDHookA;
  struct Seen {
    uint32_t align[4];
    uint8_t shadingTableType;
    uint16_t overscanWidth;
  };
  std::vector<Seen> seen;
  void LLDHookA(MSXML6StoreBSTR& store) override {
    const CScannerSettings_AV& s = *Settings();
    const ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();
    seen.push_back({{s.m_ulAlignA1, s.m_ulAlignA2, s.m_ulAlignA3, s.m_ulAlignA4},
                    inq.ASICShadingTableType,
                    inq.OverscanWidth});
    CScannerLLD::LLDHookA(store);
  }
};

using DriverConfigTest = DriverUnitTest;

TEST_F(DriverConfigTest, TheModelsValuesAreInTheSettingsBeforeInitBuildsAnything) {
  StartUnit();
  InitWatchingDriver driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  ASSERT_FALSE(driver.seen.empty());
  const InitWatchingDriver::Seen& first = driver.seen.front();
  EXPECT_EQ(first.align[0], 16u);
  EXPECT_EQ(first.align[1], 16u);
  EXPECT_EQ(first.align[2], 8u);
  EXPECT_EQ(first.align[3], 8u);
  EXPECT_EQ(first.shadingTableType, 0x80);
  EXPECT_EQ(first.overscanWidth, 0x0A5A);
}

TEST_F(DriverConfigTest, TheFirstWindowsAreBuiltFromTheModelsInquiryAndValues) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  CScannerSettings_AV& settings = *driver.Settings();

  // The model's bytes are in every copy of the record.
  const ReduzidInq copy = CRZDScannerSettingsBase::InquiryCopy();
  EXPECT_EQ(uint8_t{copy.ASICShadingTableType}, 0x80);
  EXPECT_EQ(uint16_t{copy.OverscanWidth}, 0x0A5A);  // (packed fields are read by value)
  ASSERT_TRUE(DriverCachedInquiry());
  EXPECT_EQ(uint8_t{DriverCachedInquiry()->ASICShadingTableType}, 0x80);
  EXPECT_EQ(InqBytes(*DriverCachedInquiry())[165], 0x5A);
  EXPECT_EQ(InqBytes(*DriverCachedInquiry())[166], 0x0A);
  EXPECT_EQ(uint16_t{driver.m_ReduzidScanner.ReduzidInq.OverscanWidth}, 0x0A5A);
  EXPECT_EQ(settings.m_ulAlignA1, 16u);
  EXPECT_EQ(settings.m_ulAlignA2, 16u);
  EXPECT_EQ(settings.m_ulAlignA3, 8u);
  EXPECT_EQ(settings.m_ulAlignA4, 8u);

  // The window descriptions built at open, with no settings applied: one-byte tone tables...
  EXPECT_FALSE(settings.IsGammaTable512());
  const RZDWindowDescription& primary = settings.m_Primary;
  EXPECT_EQ(primary.Gamma[1], 1);
  EXPECT_EQ(primary.Gamma[2], 2);
  EXPECT_EQ(primary.Gamma[100], 100);
  EXPECT_EQ(primary.Gamma[300], 0);  // past the 256 one-byte entries
  // ...and the model's over-scan width: 2650/300 inch (8833 thousandths) at 300 dpi is 2649
  // pixels, 2656 on the colour pixel boundary, 10624/1200 inch.
  EXPECT_EQ(uint16_t{primary.Desc.XRes}, 300);
  EXPECT_EQ(uint32_t{primary.Desc.Width}, 10624u);
}

TEST_F(DriverConfigTest, TheRecordsAndTheStringTableAreKeptForTheProcess) {
  StartUnit();
  EXPECT_FALSE(DriverLcdStringBlock());
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  const std::optional<std::vector<uint8_t>> block = DriverLcdStringBlock();
  ASSERT_TRUE(block);
  ASSERT_EQ(block->size(), 7u + 2u * 260u);  // the unit holds two strings
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block->data() + 7 + 6), 11), "Quarx M48tz");
  EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().BornYear}, 2022);
  EXPECT_EQ(std::string(CRZDScannerSettingsBase::NVMDataCopy().SerialNumber, 12), kSerial);
  EXPECT_TRUE(driver.m_bImprinterFound);
  EXPECT_TRUE(driver.Settings()->m_bUltrasonicOption);
  uint8_t found = 0;
  EXPECT_EQ(driver.FindImprinter(&found), 0u);
  EXPECT_EQ(found, 1);
}

TEST_F(DriverConfigTest, ASleepTimeOutsideTheMachinesLimitsIsSentWithinThem) {
  StartUnit();
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite\\M48tz\\SleepTime", &key), ERROR_SUCCESS);
  key.SetDword(u"Min", 20);
  key.SetDword(u"Max", 60);
  TakeUnitLog();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  // The unit's 15 minutes become 20; its power-off time of 240 stays (within 0 to 4320, not below).
  const std::vector<std::string> sent = From(TakeUnitLog(), "new 12: AA 00 00 01");
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0], kSendPowerSaving);
  EXPECT_EQ(sent[1], "data 6: 00 00 00 06 00 14");
  EXPECT_NE(sent[2], kSendPowerOff);
  EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().PowerSavingTime}, 20);
  EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().PowerOffTime}, 240);
}

TEST_F(DriverConfigTest, WithPowerOffDisabledOnTheMachineTheOffTimeBecomesZero) {
  StartUnit();
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite", &key), ERROR_SUCCESS);
  key.SetDword(u"DisablePowerOff", 1);
  TakeUnitLog();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  const std::vector<std::string> sent = From(TakeUnitLog(), "new 12: AA 00 00 01");
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], kSendPowerOff);
  EXPECT_EQ(sent[1], "data 6: 00 00 00 06 00 00");
  EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().PowerOffTime}, 0);
  EXPECT_EQ(uint16_t{CRZDScannerSettingsBase::NVMDataCopy().PowerSavingTime}, 15);
}

}  // namespace
}  // namespace rzd::lowdrv::test
