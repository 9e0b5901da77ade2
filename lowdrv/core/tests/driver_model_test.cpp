// The model driver: its constants and its overrides of the engine driver (background raster
// reads by the window's side bits, the fixed quantisation tables).
#include "driver_unit_fixture.h"

#include "engine/page_pattern.h"
#include "lowdrv/settings/m48tz_settings.h"

#include <cstring>

namespace rzd::lowdrv::test {
namespace {

const char kReadHalf[] = "new 12: A8 00 00 00 9B 00 00 00 00 01 F4 00";   // background raster, 500 bytes
const char kReadWhole[] = "new 12: A8 00 00 00 9B 00 00 00 00 03 E8 00";  // 1000 bytes

TEST(DriverModelConstantsTest, TheModelSetsItsValuesOverTheEngineDrivers) {
  rzd::test::ScopedRoot root;
  const std::u16string path = ModelUnitPath();
  CRZDREduzidLLD engine(path);
  CScannerLLD model(path);

  EXPECT_EQ(engine.m_ulCmdTimeout, 5000u);
  EXPECT_EQ(model.m_ulCmdTimeout, 10000u);
  EXPECT_EQ(engine.m_ulReleaseTimeout, 10000u);
  EXPECT_EQ(model.m_ulReleaseTimeout, 60000u);
  EXPECT_EQ(engine.m_ulLargeReadSize, 0x80000u);
  EXPECT_EQ(model.m_ulLargeReadSize, 0x40000u);
  EXPECT_EQ(model.m_ulSmallReadSize, 0x20000u);
  EXPECT_EQ(engine.m_bNewCommandSet, 0);
  EXPECT_EQ(model.m_bNewCommandSet, 1);
  EXPECT_EQ(engine.m_ulAlign[0], 1u);
  EXPECT_EQ(model.m_ulAlign[0], 16u);
  EXPECT_EQ(model.m_ulAlign[1], 16u);
  EXPECT_EQ(model.m_ulAlign[2], 8u);
  EXPECT_EQ(engine.m_strSemaphorePrefix, u"");
  EXPECT_EQ(model.m_strSemaphorePrefix, u"Global\\M48tzLLD_");
  EXPECT_EQ(model.m_strOldDriverEventPrefix, u"RORuz2006OZIDOD");
  // The model's firmware images (the delivered library carries none): the master and a slave.
  EXPECT_EQ(model.m_uFirmwareMasterResource, 129u);
  EXPECT_EQ(model.m_uFirmwareSlaveResource, 130u);
  EXPECT_EQ(engine.m_uFirmwareMasterResource, 0u);
  EXPECT_EQ(engine.m_uFirmwareSlaveResource, 0u);
  // The model's rule for the inquiry record is applied by its configuration reads; the engine
  // driver has none.
  EXPECT_NE(model.m_InquiryPatch.modelRule, nullptr);
  EXPECT_EQ(engine.m_InquiryPatch.modelRule, nullptr);
  EXPECT_EQ(model.m_ulPageNumber, 1u);
  EXPECT_EQ(model.m_ulStatus, state::kClosed);
  // The engine driver's own values, which the model keeps.
  const CRZDREduzidLLD* const drivers[] = {&engine, &model};
  for (const CRZDREduzidLLD* d : drivers) {
    EXPECT_EQ(d->m_ulSmallReadSize, 0x20000u);
    EXPECT_EQ(d->m_ulMaxIndicator, 9u);
    EXPECT_EQ(d->m_ulCalibThreadWait, 2000u);
    EXPECT_EQ(d->m_ulButtonThreadWait, 1000u);
    EXPECT_EQ(d->m_ulShortTimeout, 500u);
    EXPECT_EQ(d->m_ulLongTimeout, 120000u);
    EXPECT_EQ(d->m_ulReserveTimeout, 500u);
    EXPECT_EQ(d->m_bReopen, 1);
    EXPECT_EQ(d->m_ulSideCounter, 1u);
    EXPECT_EQ(d->m_ulAlign[2], 8u);
    EXPECT_EQ(d->m_ulAlign[3], 8u);
    EXPECT_EQ(d->m_uDescriptionResource, 110u);
    EXPECT_EQ(d->m_uReadResultResource, 120u);
    EXPECT_EQ(d->m_errDFDErrWait, 0u);
  }
  EXPECT_EQ(engine.m_ulAlign[1], 1u);
  EXPECT_EQ(engine.m_strOldDriverEventPrefix, u"");
  EXPECT_EQ(engine.m_bBatchReservation, 0);
  EXPECT_EQ(model.m_bBatchReservation, 1);
  EXPECT_EQ(engine.m_bReadLoopFlag, 0);
  EXPECT_EQ(model.m_bReadLoopFlag, 1);

  ASSERT_NE(dynamic_cast<CM48tzScannerSettings*>(model.Settings()), nullptr);
  EXPECT_EQ(dynamic_cast<CM48tzScannerSettings*>(engine.Settings()), nullptr);
  const CScannerSettings_AV& s = *model.Settings();
  EXPECT_EQ(s.m_strProductName, u"Quarx M48tz Scanner");
  EXPECT_EQ(s.m_strVendorName, u"Quarx Incorporated");
  EXPECT_EQ(s.m_strModelName, u"M48tz");
  EXPECT_EQ(s.m_wModelID, 0x0148);
  EXPECT_EQ(s.m_wVendorID, 0x2E5A);
  EXPECT_EQ(s.m_lMaxLongLength, 236000);
  EXPECT_EQ(s.m_lOverScanMargin, 500);
  EXPECT_EQ(s.m_lFrontTruncLen, 200);
  EXPECT_EQ(s.m_lBackTruncLen, 200);
  EXPECT_EQ(s.m_byVSPLength, 29);
  EXPECT_EQ(s.m_wHalftone, 127);
  EXPECT_EQ(s.m_byJpegQualityMax, 87);
  EXPECT_EQ(s.m_byJpegQualityMin, 24);
}

TEST(DriverModelConstantsTest, TheModelsReadTakesTheLongReadTimeOut) {
  rzd::test::ScopedRoot root;
  CScannerLLD model(ModelUnitPath());
  uint8_t buffer[16] = {};
  uint32_t size = sizeof buffer;
  BSTR meta = nullptr;
  uint32_t boundary = 0;
  EXPECT_NE(model.Read(buffer, &size, &meta, &boundary), 0u);  // no unit is open
  EXPECT_EQ(model.m_ulReadTimeout, 60000u);
  EXPECT_EQ(meta, nullptr);
}

class DriverModelTest : public DriverUnitTest {
 protected:
  void OpenAndLock() {
    StartUnit();
    driver_ = std::make_unique<CScannerLLD>(path_);
    ASSERT_EQ(driver_->OpenScanner(), 0u);
    const uint32_t timeout = 1000;
    ASSERT_EQ(driver_->LockScanner(&timeout, sizeof timeout), 0u);
    TakeUnitLog();
  }
  std::unique_ptr<CScannerLLD> driver_;
};

TEST_F(DriverModelTest, TheBackgroundRasterIsReadBySideBitsAndNeverIntoNothing) {
  OpenAndLock();
  // The unit hands over the front's raster, then the back's (each read pair starts with the
  // front's); each side has its own bytes, so the buffer shows where each raster went.
  constexpr uint8_t kFront = engine::kBackgroundByte;
  constexpr uint8_t kBack = engine::kBackBackgroundByte;
  struct Case {
    uint8_t sides;  // descriptor byte 57 of the current window
    std::vector<std::string> reads;
    uint8_t firstHalf;   // what the caller's buffer holds
    uint8_t secondHalf;
  };
  const Case cases[] = {
      {0x10, {kReadHalf, kReadHalf}, kFront, kBack},     // both sides: front half, back half
      {0x18, {kReadHalf, kReadHalf}, kFront, kBack},     // both sides, back flagged: all the same
      {0x00, {kReadWhole, kReadWhole}, kFront, kFront},  // front only: the back's raster to scratch
      {0x08, {kReadWhole, kReadWhole}, kBack, kBack},    // back only: the front's raster to scratch
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.sides));
    driver_->Settings()->m_Primary.Desc.SetCapEx1 = c.sides;
    std::vector<uint8_t> buffer(1000, 0xEE);
    EXPECT_EQ(driver_->ReadBackgroundRaster(buffer.data(), 1000), 0u);
    EXPECT_EQ(TakeUnitLog(), c.reads);
    std::vector<uint8_t> expected(500, c.firstHalf);
    expected.resize(1000, c.secondHalf);
    EXPECT_TRUE(buffer == expected) << "first byte " << int{buffer[0]} << ", last " << int{buffer[999]};
  }
  // No buffer: nothing is read.
  driver_->Settings()->m_Primary.Desc.SetCapEx1 = 0x18;
  EXPECT_EQ(driver_->ReadBackgroundRaster(nullptr, 1000), lld::kInvalidParameter);
  EXPECT_TRUE(TakeUnitLog().empty());
}

TEST_F(DriverModelTest, HighQualityScalesTakeTheModelsFixedTables) {
  OpenAndLock();
  for (uint32_t scale : {0u, 26u}) {
    uint8_t tables[kJPEGTablesSize] = {};
    ASSERT_TRUE(driver_->ChrominanceQuantizationTable(scale, tables));
    EXPECT_EQ(std::memcmp(tables, kModelQuantTables, kJPEGTablesSize), 0);
    EXPECT_EQ(tables[63], 21);
    EXPECT_EQ(tables[64 + 3], 10);
    const std::vector<std::string> log = TakeUnitLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "new 12: AA 00 00 00 8B 00 00 00 00 00 84 00");
    EXPECT_EQ(log[1].substr(0, 34), "data 132: 00 00 64 84 04 04 04 04 ");
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
