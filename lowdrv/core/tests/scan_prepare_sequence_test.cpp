// The preparation of a page against rzd-engine, by the whole sequence of blocks the unit
// received: the start of a scan in each form, a lamp that is not ready, a feeder that is empty or
// whose cable is out, the pages after the first, the batch reservation taken once, the restart
// after a double-feed wait, and the background scan of an engine without a background raster,
// made again only when the window changes. The new command set never sends a Scan command: the
// page reservation starts the page.
#include "api/device_open.h"
#include "scan/scan_steps.h"
#include "scan_fixture.h"
#include "unit_commands.h"

#include <functional>

namespace rzd::lowdrv::test {
namespace {

// A model whose feeder check reports the feeder cable unplugged (75) when the unit answered.
// No sense the unit can send decodes to 75; a model's own media check is where the code comes
// from, and the preparation treats it as an empty feeder.
class CableOutDriver final : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  LLDError MediaCheck(uint8_t* pbyStatus, uint8_t byCheckType) override {
    const LLDError r = CScannerLLD::MediaCheck(pbyStatus, byCheckType);
    return r == 0 ? 75 : r;
  }
};

// The blocks of each step, as the unit receives them.
struct Steps {
  uint32_t gammaLength = 0x100;  // one tone table
  uint32_t rasterRead = 0;       // one background raster read
  std::vector<std::string> WaitForUnitReady() const { return {unit::SensePoll()}; }
  std::vector<std::string> FeederCheck() const { return {unit::MediaCheck()}; }
  std::vector<std::string> Lamp() const { return {unit::Read(0xA0, 5)}; }
  std::vector<std::string> BatchReserve() const { return {unit::Reserve(2)}; }
  std::vector<std::string> ImageProcessing() const { return {unit::Send(0x98, 68), unit::Data(68)}; }
  std::vector<std::string> Ultrasonic() const { return {unit::Send(0x8E, 7), unit::Data(7)}; }
  std::vector<std::string> Window() const { return {unit::SetWindow(), unit::Data(96)}; }
  std::vector<std::string> JpegTables() const { return {unit::Send(0x8B, 132), unit::Data(132)}; }
  std::vector<std::string> DuplexMode() const { return {unit::Read(0xB2, 7)}; }
  std::vector<std::string> CalibrationFormat() const { return {unit::Read(0x60, 36)}; }
  std::vector<std::string> Matrix() const { return {unit::Send(0x83, 22), unit::Data(22)}; }
  std::vector<std::string> Gamma() const {
    std::vector<std::string> blocks;
    for (int channel = 0; channel < 3; ++channel) unit::Append(blocks, {unit::Send(0x81, gammaLength + 8), unit::Data(gammaLength + 8)});
    return blocks;
  }
  // The back length first (head, 0x96), then the front length (tail, 0x95).
  std::vector<std::string> TruncationLengths() const {
    return {unit::Send(0x96, 10), unit::Data(10), unit::Send(0x95, 10), unit::Data(10)};
  }
  std::vector<std::string> BackgroundRaster() const { return {unit::Read(0x9B, rasterRead), unit::Read(0x9B, rasterRead)}; }
  std::vector<std::string> PageReserve() const { return {unit::Reserve(0)}; }

  // The whole preparation of the first page of a scan: with the batch reservation or without
  // (the unit still reserved), with the blocks of a separate background scan after the
  // image-processing block, and with the background raster reads (an engine that has one).
  std::vector<std::string> ScanStart(bool jpeg, bool batchReserve = true,
                                     const std::vector<std::string>& backgroundScan = {}, bool raster = true) const {
    std::vector<std::string> b = WaitForUnitReady();
    unit::Append(b, FeederCheck());
    unit::Append(b, Lamp());
    if (batchReserve) unit::Append(b, BatchReserve());
    unit::Append(b, ImageProcessing());
    unit::Append(b, backgroundScan);
    unit::Append(b, WindowSteps(jpeg));
    unit::Append(b, Matrix());
    unit::Append(b, Gamma());
    unit::Append(b, TruncationLengths());
    unit::Append(b, Matrix());
    if (raster) unit::Append(b, BackgroundRaster());
    unit::Append(b, PageReserve());
    return b;
  }
  std::vector<std::string> WindowSteps(bool jpeg) const {
    std::vector<std::string> b = Ultrasonic();
    unit::Append(b, Window());
    if (jpeg) unit::Append(b, JpegTables());
    unit::Append(b, DuplexMode());
    unit::Append(b, CalibrationFormat());
    return b;
  }
};

struct PrepareCase {
  const char* name;
  std::vector<std::string> unitSetup;  // control lines once the unit runs
  ScanChoice choice;
  bool cableOut = false;               // the model's feeder check reports the cable
  uint32_t boundary = 6;               // the boundary state the preparation finds
  uint8_t media = 1;                   // the media byte it is given
  std::function<void(CScannerLLD&)> state;  // what the read loop left
  LLDError result = 0;
  // The blocks the unit receives, from the steps of the unit's facts.
  std::function<std::vector<std::string>(const Steps&)> sent;
  std::function<void(CScannerLLD&, uint8_t media)> after;  // what the preparation leaves
};

void PrintTo(const PrepareCase& c, std::ostream* out) { *out << c.name; }

class PrepareSequenceTest : public ScanTest {
 protected:
  void TearDown() override {
    ScanTest::TearDown();
    api::SetDriverFactory(nullptr);
  }
  // The steps' blocks for the scan the settings now describe.
  Steps StepsOfTheWindow() {
    Steps steps;
    // One tone table: 0x200 bytes when the settings ask for wide tables.
    steps.gammaLength = Driver().m_pSettings->IsGammaTable512() ? 0x200 : 0x100;
    const WindowFacts facts = FactsOf(*Driver().m_pSettings->GetWindowDescription());
    // The background block holds a line of each side of a duplex page (the model reads it in
    // two halves), or a line read twice (once into a scratch block) for one side.
    steps.rasterRead = facts.lineBytesField;
    return steps;
  }
};

class PrepareSequenceTable : public PrepareSequenceTest, public ::testing::WithParamInterface<PrepareCase> {};

TEST_P(PrepareSequenceTable, TheUnitReceivesTheStepsInOrder) {
  const PrepareCase& c = GetParam();
  if (c.cableOut) {
    api::SetDriverFactory([](const std::u16string& path) { return std::make_unique<CableOutDriver>(path); });
  }
  OpenAndLock(c.unitSetup);
  ASSERT_LE(Apply(EditsFor(c.choice)), 0x800Cu);
  CScannerLLD& driver = Driver();
  driver.m_ulSubState = c.boundary;
  if (c.state) c.state(driver);
  const Steps steps = StepsOfTheWindow();
  TakeUnitLog();
  uint8_t media = c.media;
  EXPECT_EQ(driver.PrepareScan(&media), c.result);
  const std::vector<std::string> expected = c.sent(steps);
  const std::vector<std::string> received = TakeUnitLog();
  EXPECT_EQ(unit::AsExpected(received, expected), expected);
  for (const std::string& block : received) EXPECT_EQ(block.rfind("classic", 0), std::string::npos) << block;
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);  // the read loop sets the state, not the preparation
  if (c.after) c.after(driver, media);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrepareSequenceTable,
    ::testing::Values(
        PrepareCase{"RasterDuplexScanStart", {"load 1 duplex"}, Grey(), false, 6, 1, nullptr, 0,
                    [](const Steps& s) { return s.ScanStart(false); },
                    [](CScannerLLD& d, uint8_t media) {
                      EXPECT_EQ(media, 0x01);  // the feeder status: paper
                      EXPECT_EQ(d.m_bUnitReserved, 1);
                      EXPECT_EQ(d.m_Background.size(), 2u * FactsOf(*d.m_pSettings->GetWindowDescription()).lineBytesField);
                    }},
        PrepareCase{"RasterSimplexScanStart", {"load 1 duplex"}, Grey(false), false, 6, 1, nullptr, 0,
                    [](const Steps& s) { return s.ScanStart(false); },
                    [](CScannerLLD& d, uint8_t) {
                      EXPECT_EQ(d.m_Background.size(), FactsOf(*d.m_pSettings->GetWindowDescription()).lineBytesField);
                    }},
        PrepareCase{"JpegScanStartSendsTheTablesAfterTheWindow", {"load 1 duplex"}, ColourJpeg(), false, 6, 1, nullptr, 0,
                    [](const Steps& s) { return s.ScanStart(true); }, nullptr},
        PrepareCase{"ALampThatCannotLightEndsWith42", {"load 1 duplex", "lamp fault"}, Grey(), false, 6, 1, nullptr, 42,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.Lamp());
                      return b;
                    },
                    [](CScannerLLD& d, uint8_t) { EXPECT_EQ(d.m_bUnitReserved, 0); }},
        PrepareCase{"AWarmingLampEndsWith800B", {"load 1 duplex", "lamp warming"}, Grey(), false, 6, 1, nullptr,
                    lld::kLampWarmingUp,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.Lamp());
                      return b;
                    },
                    nullptr},
        PrepareCase{"AnEmptyFeederEndsWith7", {}, Grey(), false, 6, 1,
                    [](CScannerLLD& d) { d.m_Scan.pagesSinceMediaCheck = 3; }, lld::kNoPaper,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      b.push_back(unit::SensePoll());  // the media check reads why the feeder is empty
                      return b;
                    },
                    [](CScannerLLD& d, uint8_t media) {
                      EXPECT_EQ(media, 0);
                      EXPECT_EQ(d.m_Scan.pagesSinceMediaCheck, 0u);
                    }},
        PrepareCase{"TheFeederCableOutEndsAsAnEmptyFeederWith7", {"load 1 duplex"}, Grey(), true, 6, 1, nullptr,
                    lld::kNoPaper,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      return b;
                    },
                    [](CScannerLLD&, uint8_t media) { EXPECT_EQ(media, 0); }},
        // The page after the first: the feeder asked again with the read loop's status byte, the
        // window steps (this engine does not keep them across pages), the matrix, the page
        // reservation; no lamp, no batch reservation, no tone tables, no background.
        PrepareCase{"APageAfterTheFirst", {"load 2 duplex"}, Grey(), false, 3, 0x01,
                    [](CScannerLLD& d) { d.m_bUnitReserved = 1; }, 0,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.WindowSteps(false));
                      unit::Append(b, s.Matrix());
                      unit::Append(b, s.PageReserve());
                      return b;
                    },
                    nullptr},
        // A re-reserve request while the unit is still reserved sends the image-processing block
        // but no second batch reservation.
        PrepareCase{"AReReserveWhileStillReservedSendsNoSecondReservation", {"load 2 duplex"}, Grey(), false, 3, 0x01,
                    [](CScannerLLD& d) {
                      d.m_bUnitReserved = 1;
                      d.m_Scan.reReserve = true;
                    },
                    0,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.ImageProcessing());
                      unit::Append(b, s.WindowSteps(false));
                      unit::Append(b, s.Matrix());
                      unit::Append(b, s.PageReserve());
                      return b;
                    },
                    [](CScannerLLD& d, uint8_t) {
                      EXPECT_FALSE(d.m_Scan.reReserve);
                      EXPECT_EQ(d.m_bUnitReserved, 1);
                    }},
        PrepareCase{"AReReserveAfterAReleaseReservesAgain", {"load 2 duplex"}, Grey(), false, 3, 0x01,
                    [](CScannerLLD& d) { d.m_Scan.reReserve = true; }, 0,
                    [](const Steps& s) {
                      std::vector<std::string> b = s.WaitForUnitReady();
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.BatchReserve());
                      unit::Append(b, s.ImageProcessing());
                      unit::Append(b, s.WindowSteps(false));
                      unit::Append(b, s.Matrix());
                      unit::Append(b, s.PageReserve());
                      return b;
                    },
                    [](CScannerLLD& d, uint8_t) { EXPECT_EQ(d.m_bUnitReserved, 1); }},
        PrepareCase{"AScanOnAUnitStillReservedSendsNoSecondReservation", {"load 1 duplex"}, Grey(), false, 6, 1,
                    [](CScannerLLD& d) { d.m_bUnitReserved = 1; }, 0,
                    [](const Steps& s) { return s.ScanStart(false, false); }, nullptr},
        // After a double-feed wait: no wait for the unit, the double-feed selection reset, the
        // feeder, the reservation again, every window step and the tone tables and lengths again.
        PrepareCase{"AfterADoubleFeedWait", {"load 2 duplex"}, Grey(), false, 3, 1,
                    [](CScannerLLD& d) {
                      d.m_errDFDErrWait = 70;
                      d.m_pSettings->m_bDFDResetOption = 1;
                      d.m_bDFDResetPending = 1;
                      d.m_Scan.reReserve = true;
                    },
                    0,
                    [](const Steps& s) {
                      std::vector<std::string> b = {unit::Send(0xFF, 12), "data 12: 00 00 01 0C 01 00 00 00 00 00 00 00"};
                      unit::Append(b, s.FeederCheck());
                      unit::Append(b, s.BatchReserve());
                      unit::Append(b, s.ImageProcessing());
                      unit::Append(b, s.WindowSteps(false));
                      unit::Append(b, s.Matrix());
                      unit::Append(b, s.Gamma());
                      unit::Append(b, s.TruncationLengths());
                      unit::Append(b, s.Matrix());
                      unit::Append(b, s.PageReserve());
                      return b;
                    },
                    [](CScannerLLD& d, uint8_t) {
                      EXPECT_EQ(d.m_errDFDErrWait, 0u);
                      EXPECT_EQ(d.m_bDFDResetPending, 0);
                    }}),
    [](const ::testing::TestParamInfo<PrepareCase>& info) { return std::string(info.param.name); });

// An engine without a background raster (inquiry byte 95 bit 1 clear) gets a separate background
// scan at the start of a scan, and only when the resolution, the composition or the side bits
// differ from the last scan's.
TEST_F(PrepareSequenceTest, TheBackgroundIsScannedAgainOnlyWhenTheWindowChanges) {
  OpenAndLock({"load 20 duplex"});
  ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();
  InqBytes(inq)[95] &= static_cast<uint8_t>(~0x02);
  CRZDScannerSettingsBase::SetInquiryCopy(inq);
  CScannerLLD& driver = Driver();

  // One preparation at the start of a scan with the settings applied; the scan is then cancelled
  // (the sheet leaves, the reservations go) so that the next one starts afresh.
  auto prepare = [&] {
    driver.m_ulSubState = 6;
    TakeUnitLog();
    uint8_t media = 1;
    EXPECT_EQ(driver.PrepareScan(&media), 0u);
    const std::vector<std::string> log = TakeUnitLog();
    driver.m_ReduzidScanner.ReleaseUnit(1);
    driver.m_ReduzidScanner.ReleaseUnit(2);
    driver.m_bUnitReserved = 0;
    TakeUnitLog();
    return log;
  };
  // The separate scan: its window, the calibration format, the matrix, the tone tables, the
  // page reservation, a line of each side, the release. (The new set's window carries no mark of
  // a background scan, so the simulated unit takes a sheet for it, which the release ejects.)
  auto backgroundScan = [&] {
    const ReduzidWindowDescriptor& w = *driver.m_pSettings->GetWindowDescription();
    uint32_t width = static_cast<uint32_t>(w.XRes) * inq.ADFMaxWidth / 300 / 8 * 8;
    const uint32_t line = w.ImageComp == 5 ? width * 3 : w.ImageComp == 0 ? (width + 7) / 8 : width;
    const Steps s = StepsOfTheWindow();
    std::vector<std::string> b = s.Window();
    unit::Append(b, s.CalibrationFormat());
    unit::Append(b, s.Matrix());
    unit::Append(b, s.Gamma());
    unit::Append(b, s.PageReserve());
    unit::Append(b, {unit::Read(0x00, line), unit::Read(0x00, line)});
    b.push_back(unit::Release(0));
    return b;
  };
  // The scan's own preparation, with the background scan after the image-processing block, and
  // no raster reads.
  auto scanStart = [&](const ScanChoice& choice, bool background) {
    const std::vector<std::string> scan = background ? backgroundScan() : std::vector<std::string>{};
    return StepsOfTheWindow().ScanStart(choice.jpeg, true, scan, false);
  };

  struct Scan {
    const char* name;
    ScanChoice choice;
    bool background;
  };
  ScanChoice grey300 = Grey();
  grey300.dpi = 300;
  ScanChoice colour300 = grey300;
  colour300.kind = ScanChoice::Kind::Color;
  ScanChoice colour300Simplex = colour300;
  colour300Simplex.duplex = false;
  const Scan scans[] = {
      {"the first scan", Grey(), true},
      {"the same window", Grey(), false},
      {"another resolution", grey300, true},
      {"the same again", grey300, false},
      {"another composition", colour300, true},
      {"other side bits", colour300Simplex, true},
      {"the same again", colour300Simplex, false},
      {"back to the first window", Grey(), true},
  };
  for (const Scan& scan : scans) {
    SCOPED_TRACE(scan.name);
    ASSERT_LE(Apply(EditsFor(scan.choice)), 0x800Cu);
    const std::vector<std::string> expected = scanStart(scan.choice, scan.background);
    const std::vector<std::string> received = prepare();
    EXPECT_EQ(unit::AsExpected(received, expected), expected);
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
