// The TWAIN wrapper against the scripted data source: initialisation, the cycle of start, reads
// and finish page by page, the faults a source can report, the status mapping, the feeder
// status, and the guards around sizes and missing sessions.
#include "twain_standard.h"
#include "wrap_fixture.h"

#include "platform/registry.h"

#include <cstring>
#include <tuple>

namespace rzd::apphal::test {
namespace {

using twainds::ScriptBuilder;

const std::string kMemXfer = standard::kImageMemXferTriplet;

TEST(MapTwainStatus, EveryReturnAndConditionCode) {
  struct Case {
    uint32_t result;
    uint32_t status;
  } cases[] = {
      {TWRC_SUCCESS, ZQHARDWARE_STATUS_OK},
      {TwainResult(TWCC_PAPERJAM, TWRC_CHECKSTATUS), ZQHARDWARE_STATUS_OK},
      {TWRC_XFERDONE, ZQHARDWARE_STATUS_OK},
      {TWRC_CANCEL, ZQHARDWARE_STATUS_USERCANCEL},
      {TwainResult(TWCC_BUMMER, TWRC_CANCEL), ZQHARDWARE_STATUS_USERCANCEL},
      {TwainResult(TWCC_LOWMEMORY, TWRC_FAILURE), ZQHARDWARE_STATUS_OUT_OF_MEMORY},
      {TwainResult(TWCC_NODS, TWRC_FAILURE), ZQHARDWARE_STATUS_OUT_OF_MEMORY},
      {TwainResult(TWCC_MAXCONNECTIONS, TWRC_FAILURE), ZQHARDWARE_STATUS_DRIVERBUSY},
      {TwainResult(TWCC_PAPERJAM, TWRC_FAILURE), ZQHARDWARE_STATUS_PAPERJAM},
      {TwainResult(TWCC_PAPERDOUBLEFEED, TWRC_FAILURE), ZQHARDWARE_STATUS_DOUBLE_FEED},
      {TwainResult(TWCC_CHECKDEVICEONLINE, TWRC_FAILURE), ZQHARDWARE_STATUS_NOTFOUND},
      {TwainResult(TWCC_INTERLOCK, TWRC_FAILURE), ZQHARDWARE_STATUS_LIDOPEN},
      {TwainResult(TWCC_NOMEDIA, TWRC_FAILURE), ZQHARDWARE_STATUS_ADF_EMPTY},
      {TwainResult(TWCC_DS_DOCSKEW, TWRC_FAILURE), ZQHARDWARE_STATUS_DOCSKEW},
      {TwainResult(TWCC_DS_SHIPLOCK, TWRC_FAILURE), ZQHARDWARE_STATUS_SHIPLOCK},
      {TwainResult(TWCC_DS_BLANKPAGE, TWRC_FAILURE), ZQHARDWARE_STATUS_BLANK_PAGE},
      {TwainResult(TWCC_BADVALUE, TWRC_FAILURE), ZQHARDWARE_STATUS_FAIL},
      {TwainResult(TWCC_BUMMER, TWRC_FAILURE), ZQHARDWARE_STATUS_FAIL},
      {TWRC_FAILURE, ZQHARDWARE_STATUS_FAIL},  // a failure without a condition stays a failure
      {TWRC_NOTDSEVENT, ZQHARDWARE_STATUS_FAIL},
      {TWRC_DSEVENT, ZQHARDWARE_STATUS_FAIL},
  };
  CTWAINwrap wrapper;
  for (const Case& c : cases) {
    EXPECT_EQ(wrapper.MapTwainStatus(c.result), c.status) << std::hex << c.result;
  }
}

TEST(ToneCurves, IdentityFixedCurveAndGamma) {
  // Intensity and contrast 50 give the identity, in both sizes.
  std::vector<uint8_t> narrow(256);
  ASSERT_TRUE(BuildIntensityContrastCurve(50, 50, narrow.data(), narrow.size()));
  for (size_t i = 0; i < 256; ++i) EXPECT_EQ(narrow[i], i) << i;
  std::vector<uint8_t> wide(65536 * 2);
  ASSERT_TRUE(BuildIntensityContrastCurve(50, 50, wide.data(), wide.size()));
  for (size_t i = 0; i < 65536; ++i) {
    uint16_t v = 0;
    std::memcpy(&v, wide.data() + i * 2, 2);
    ASSERT_EQ(v, i) << i;
  }
  EXPECT_FALSE(BuildIntensityContrastCurve(50, 50, narrow.data(), 255));

  // The fixed curve fills all 256 entries: its 232 listed values, then 255.
  std::vector<uint8_t> fixed(300, 0xAB);
  CTWAINwrapOver over;
  ZQSCANINFO info = ZqScanInfoDefaults();
  ASSERT_TRUE(over.BuildToneCurve(&info, 1, fixed.data(), 256));
  struct Entry {
    size_t index;
    uint8_t value;
  } entries[] = {{0, 64}, {3, 64}, {4, 65}, {55, 128}, {100, 168}, {200, 236}, {231, 254}, {232, 255}, {255, 255}};
  for (const Entry& e : entries) EXPECT_EQ(fixed[e.index], e.value) << e.index;
  for (size_t i = 1; i < 256; ++i) EXPECT_GE(fixed[i], fixed[i - 1]) << i;
  EXPECT_EQ(fixed[256], 0xAB);  // nothing past the table
  EXPECT_FALSE(over.BuildToneCurve(&info, 1, fixed.data(), 200));

  // Gamma tuning: intensity 100 brightens (256 held to 255), it does not turn the table black.
  struct Gamma {
    int32_t intensity, contrast;
    uint8_t at0, at128, at255;
  } gammas[] = {{100, 50, 253, 254, 255}, {50, 50, 0, 128, 255}, {0, 50, 0, 0, 0}};
  for (const Gamma& g : gammas) {
    std::vector<uint8_t> table(256);
    ASSERT_TRUE(BuildIntensityContrastCurve(50, 50, table.data(), table.size()));
    TuneGammaTable(table.data(), g.intensity, g.contrast);
    EXPECT_EQ(table[0], g.at0) << g.intensity;
    EXPECT_EQ(table[128], g.at128) << g.intensity;
    EXPECT_EQ(table[255], g.at255) << g.intensity;
  }
}

TEST_F(WrapTest, InitializeOpensTheSourceWithTheApplicationIdentity) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder());
  EXPECT_EQ(wrapper.SessionId(), 1);
  std::shared_ptr<CTwainSession> session = wrapper.Session();
  ASSERT_TRUE(session);
  EXPECT_EQ(session->State(), kTwainStateSourceOpen);
  const TW_IDENTITY& app = session->AppIdentity();
  EXPECT_EQ(app.Id, 1u);
  EXPECT_EQ(app.Version.MajorNum, 5);
  EXPECT_EQ(app.Version.MinorNum, 1);
  EXPECT_STREQ(app.Version.Info, "5.1 VI4reRIZUZ");
  const TW_UINT32 groups = app.SupportedGroups;  // copied out of the packed record
  EXPECT_EQ(groups, 0x20000003u);
  EXPECT_STREQ(app.Manufacturer, "Corvanite");
  EXPECT_STREQ(app.ProductName, "VI4reRIZUZ1");
  const std::vector<std::string> opened = Received();
  ASSERT_GE(opened.size(), 3u);
  const std::vector<std::string> tail(opened.end() - 3, opened.end());
  EXPECT_EQ(tail, (std::vector<std::string>{standard::CapTriplet(standard::kSet, standard::kFeederEnabled),
                                            standard::CapTriplet(standard::kSet, standard::kAutomaticSenseMedium),
                                            standard::CapTriplet(standard::kSet, standard::kDsCustomData)}));

  // A second initialisation closes the first session before it opens again under the same id.
  twainds::ClearTripletLog();
  EXPECT_EQ(wrapper.Initialize(nullptr, kWrapDataSource), 0u);
  EXPECT_EQ(wrapper.SessionId(), 1);
  EXPECT_EQ(TwainSessionMap::Instance().Size(), 1u);
  const std::vector<std::string> received = Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0], standard::kCloseDsTriplet);
  EXPECT_EQ(received[1], standard::kGetIdentityTriplet);

  EXPECT_EQ(wrapper.Uninitialize(), 0u);
  EXPECT_EQ(wrapper.SessionId(), 0);
  EXPECT_EQ(TwainSessionMap::Instance().Size(), 0u);
}

TEST_F(WrapTest, InitializeFailures) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    std::filesystem::path path;
    uint32_t status;
  } cases[] = {
      {"no library", ScriptBuilder(), RootPath() / "missing.so", ZQHARDWARE_STATUS_FAIL},
      {"busy", ScriptBuilder().Fail(standard::kOpenDsTriplet, "1,4"), kWrapDataSource,
       ZQHARDWARE_STATUS_FAIL},  // a refused open answers a sequence error (the state-3 condition)
      {"feeder raises", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kFeederEnabled), "throw"),
       kWrapDataSource, ZQHARDWARE_STATUS_FAIL},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.script.Write());
    CTWAINwrap wrapper;
    EXPECT_EQ(wrapper.Initialize(nullptr, c.path), c.status);
    EXPECT_EQ(wrapper.SessionId(), 0);
    EXPECT_EQ(TwainSessionMap::Instance().Size(), 0u);
  }
  // Other failures of the feeder setting do not stop the initialisation.
  ASSERT_TRUE(ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kFeederEnabled), "1,13").Write());
  CTWAINwrap wrapper;
  EXPECT_EQ(wrapper.Initialize(nullptr, kWrapDataSource), 0u);
}

TEST_F(WrapTest, EveryCommandWithoutASessionFails) {
  CTWAINwrap wrapper;
  ZQSCANINFO info = ScanRecord(100, 200, 100);
  std::vector<uint8_t> buffer(1000);
  uint32_t status = 0;
  bool last = false;
  EXPECT_EQ(wrapper.GetADFStatus(), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.ShowNetWaitDialog(), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.Configure(&info), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.ConfigureDSData(&info), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.StartScan(&info, ""), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), 1000, &status, &last), 0);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.FinishScan(&info), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.CancelScan(), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(wrapper.Uninitialize(), ZQHARDWARE_STATUS_OK);  // nothing to close is no failure
}

TEST_F(WrapTest, ADuplexBatchPageByPageInRedGreenBlue) {
  CTWAINwrap& wrapper =
      Initialized(ScriptBuilder().Source("Sheets", "2").Source("Duplex", "1").Source("Resolution", "300"));
  EXPECT_EQ(wrapper.GetADFStatus(), ZQHARDWARE_STATUS_ADF_PAGE);  // the feeder has paper
  ZQSCANINFO info = ScanRecord(100, 200, 150);
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  EXPECT_EQ(info.WidthBytes, 600);
  const std::pair<uint32_t, uint32_t> sides[] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const PageRead page = ReadPage(wrapper, &info, 7 * 600 + 17);
    ASSERT_EQ(page.start, 0u);
    EXPECT_EQ(info.WidthPixels, 200);
    EXPECT_EQ(info.Lines, 150);
    EXPECT_EQ(info.Xresolution, 100);
    EXPECT_EQ(info.PixelBits, 24);
    EXPECT_EQ(info.DataType, ZQSCANMODE_COLOR);
    EXPECT_EQ(info.PagesScanned, static_cast<int32_t>(sides[i].first));
    EXPECT_EQ(info.ActiveSide, static_cast<int32_t>(sides[i].second));
    EXPECT_EQ(page.readStatus, 0u);
    EXPECT_TRUE(page.bytes == PatternPage(sides[i].first, sides[i].second, 150, 600));
    EXPECT_EQ(info.LinesScanned, 150);
    EXPECT_EQ(page.finish, 0u);
    EXPECT_EQ(static_cast<intptr_t>(info.Value), i == 3 ? 1 : 0);  // the last finish reports the end of the batch
    EXPECT_EQ(wrapper.GetADFStatus(), i == 3 ? ZQHARDWARE_STATUS_ADF_EMPTY : ZQHARDWARE_STATUS_ADF_PAGE);
  }
  EXPECT_TRUE(wrapper.BatchOver());
  EXPECT_EQ(CountReceived(standard::kEnableDsTriplet), 1);  // one enable per batch
  EXPECT_EQ(CountReceived(standard::kDisableDsTriplet), 1);
}

TEST_F(WrapTest, AReadAfterTheLastBytesAsksNothing) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Sheets", "1"));
  ZQSCANINFO info = ScanRecord(100, 100, 100);
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  ASSERT_EQ(wrapper.StartScan(&info, ""), 0u);
  std::vector<uint8_t> buffer(300 * 100);
  uint32_t status = 0;
  bool last = false;
  EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), static_cast<int32_t>(buffer.size()), &status, &last), 30000);
  EXPECT_TRUE(last);
  const int transfers = CountReceived(kMemXfer);
  EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), static_cast<int32_t>(buffer.size()), &status, &last), 0);
  EXPECT_TRUE(last);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(CountReceived(kMemXfer), transfers);
}

// Faults a source reports, and what reaches the application.
TEST_F(WrapTest, FaultsOfTheSource) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    uint32_t start;
    uint32_t read;
  } cases[] = {
      {"paper jam", ScriptBuilder().Fail(kMemXfer, "1,20,2"), 0, ZQHARDWARE_STATUS_PAPERJAM},
      {"double feed", ScriptBuilder().Fail(kMemXfer, "1,21,2"), 0, ZQHARDWARE_STATUS_DOUBLE_FEED},
      {"failure with condition 0", ScriptBuilder().Fail(kMemXfer, "1,0,2"), 0, ZQHARDWARE_STATUS_FAIL},
      {"cover open", ScriptBuilder().Fail(kMemXfer, "1,24,2"), 0, ZQHARDWARE_STATUS_LIDOPEN},
      {"no paper", ScriptBuilder().Source("Sheets", "0"), ZQHARDWARE_STATUS_ADF_EMPTY, 0},
      {"closed source", ScriptBuilder().Source("Announce", "closedsreq"), ZQHARDWARE_STATUS_USERCANCEL, 0},
      {"source raises on enable", ScriptBuilder().Fail(standard::kEnableDsTriplet, "throw"),
       ZQHARDWARE_STATUS_FAIL, 0},
      {"no width", ScriptBuilder().Source("ReportedWidth", "0"), ZQHARDWARE_STATUS_FAIL, 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    twainds::ClearTripletLog();
    CTWAINwrap& wrapper = Initialized(c.script.Source("Resolution", "100"));
    ZQSCANINFO info = ScanRecord(100, 100, 100);
    ASSERT_EQ(wrapper.Configure(&info), 0u);
    const PageRead page = ReadPage(wrapper, &info, 300 * 10);
    EXPECT_EQ(page.start, c.start);
    EXPECT_EQ(page.readStatus, c.read);
    if (c.read != 0) {
      EXPECT_EQ(page.bytes.size(), 300u * 10);  // what came before the fault
      EXPECT_TRUE(page.finished);
      EXPECT_EQ(static_cast<intptr_t>(info.Value), 0);  // a failed page is not the end of a batch
      EXPECT_FALSE(wrapper.BatchOver());
    }
    if (c.start == ZQHARDWARE_STATUS_ADF_EMPTY) {
      EXPECT_FALSE(wrapper.Started());  // the next start enables the source again
      EXPECT_EQ(wrapper.StartScan(&info, ""), ZQHARDWARE_STATUS_ADF_EMPTY);
      EXPECT_EQ(CountReceived(standard::kEnableDsTriplet), 2);
    }
    wrapper_.reset();
    Drain();
  }
}

TEST_F(WrapTest, OnlyTwentyFourBitPixelsAreSwapped) {
  struct Case {
    int bits;
    TW_UINT16 pixelType;
    uint32_t widthBytes;
  } cases[] = {{24, TWPT_RGB, 300}, {32, TWPT_RGB, 400}, {48, TWPT_RGB, 600}, {8, TWPT_GRAY, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    CTWAINwrap& wrapper = Initialized(
        ScriptBuilder().Source("BitDepth", std::to_string(c.bits)).Source("Resolution", "100"));
    ZQSCANINFO info = ScanRecord(100, 100, 100, c.pixelType == TWPT_GRAY ? ZQSCANMODE_GREY : ZQSCANMODE_COLOR);
    ASSERT_EQ(wrapper.Configure(&info), 0u);
    const PageRead page = ReadPage(wrapper, &info, static_cast<int32_t>(c.widthBytes * 9));
    ASSERT_EQ(page.start, 0u);
    EXPECT_EQ(info.PixelBits, c.bits);
    EXPECT_EQ(info.WidthBytes, static_cast<int32_t>(c.widthBytes));
    EXPECT_EQ(page.readStatus, 0u);
    // 24-bit pixels come blue first and are turned; 32- and 48-bit data arrive as delivered.
    EXPECT_TRUE(page.bytes == PatternPage(1, 0, 100, c.widthBytes));
    wrapper_.reset();
    Drain();
  }
}

TEST_F(WrapTest, ALongJpegPageIsReadToItsEnd) {
  // The source does not know the page's length at the start (it says one line): the stream is
  // read until the source says the transfer is done, not cut at the bytes of one line.
  CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Resolution", "100").Source("ReportedLength", "1"));
  ZQSCANINFO info = ScanRecord(100, 100, 300);
  info.Compression = (90 << 16) | 1;
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kCompression)).detail, "value=6");
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kJpegQuality)).detail, "value=90");
  const PageRead page = ReadPage(wrapper, &info, 1000);
  ASSERT_EQ(page.start, 0u);
  EXPECT_EQ(info.Compression & 1, 1);
  EXPECT_EQ(wrapper.BytesExpected(), 300u);  // one line of 100 colour pixels
  EXPECT_EQ(page.readStatus, 0u);
  ASSERT_GT(page.bytes.size(), 3000u);
  EXPECT_EQ(page.bytes[0], 0xFF);
  EXPECT_EQ(page.bytes[1], 0xD8);
  EXPECT_EQ(page.bytes[page.bytes.size() - 2], 0xFF);
  EXPECT_EQ(page.bytes[page.bytes.size() - 1], 0xD9);
  uint32_t width = 0, height = 0;
  int components = 0;
  EXPECT_FALSE(twainds::DecodeJpeg(page.bytes, &width, &height, &components).empty());
  EXPECT_EQ(components, 3);
  EXPECT_EQ(width, 100u);
  EXPECT_EQ(height, 300u);
  EXPECT_EQ(page.finish, 0u);
}

TEST_F(WrapTest, SizesAreBounded) {
  // A source that claims more bytes than it was given: the count stays within the buffer.
  {
    CTWAINwrap& wrapper =
        Initialized(ScriptBuilder().Source("Resolution", "100").Source("ClaimExtraBytes", "100000"));
    ZQSCANINFO info = ScanRecord(100, 100, 100);
    ASSERT_EQ(wrapper.Configure(&info), 0u);
    ASSERT_EQ(wrapper.StartScan(&info, ""), 0u);
    std::vector<uint8_t> buffer(3000 + 100);
    uint32_t status = 0;
    bool last = false;
    EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), static_cast<int32_t>(buffer.size()), &status, &last), 3000);
    EXPECT_EQ(wrapper.BytesDelivered(), 3000u);
    EXPECT_EQ(info.LinesScanned, 10);
    // A buffer below one line cannot take a line.
    EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), 299, &status, &last), 0);
    EXPECT_EQ(status, ZQHARDWARE_STATUS_FAIL);
    wrapper_.reset();
  }
  // Resolutions of 0 would divide the frame by zero.
  {
    CTWAINwrap& wrapper = Initialized(ScriptBuilder());
    for (auto [x, y] : {std::pair{0, 100}, std::pair{100, 0}}) {
      ZQSCANINFO info = ScanRecord(100, 100, 100);
      info.Xresolution = x;
      info.Yresolution = y;
      EXPECT_EQ(wrapper.Configure(&info), ZQHARDWARE_STATUS_FAIL);
    }
    wrapper_.reset();
  }
  // A 236-inch page at 600 dpi in colour holds more than 2^31 bytes.
  {
    CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Frame", "0,0,8.5,236"));
    ZQSCANINFO info = ScanRecord(600, 5100, 141600);
    ASSERT_EQ(wrapper.Configure(&info), 0u);
    ASSERT_EQ(wrapper.StartScan(&info, ""), 0u);
    EXPECT_EQ(info.Lines, 141600);
    EXPECT_EQ(info.WidthBytes, 15300);
    EXPECT_EQ(wrapper.BytesExpected(), 2166480000u);
    std::vector<uint8_t> buffer(15300 * 4);
    uint32_t status = 0;
    bool last = false;
    EXPECT_EQ(wrapper.ReadScan(&info, buffer.data(), static_cast<int32_t>(buffer.size()), &status, &last),
              15300 * 4);
    EXPECT_FALSE(last);
    EXPECT_EQ(wrapper.CancelScan(), 0u);
  }
}

TEST_F(WrapTest, TheFeederIsReadAgainAtTheNextConfiguration) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Sheets", "3").Source("Resolution", "100"));
  ZQSCANINFO info = ScanRecord(100, 100, 100);
  info.Duplex = 0;
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  ASSERT_EQ(wrapper.StartScan(&info, ""), 0u);
  // The application stops after the first sheet; two stay in the feeder.
  EXPECT_EQ(wrapper.CancelScan(), 0u);
  EXPECT_EQ(wrapper.GetADFStatus(), ZQHARDWARE_STATUS_ADF_EMPTY);
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  EXPECT_EQ(wrapper.GetADFStatus(), ZQHARDWARE_STATUS_ADF_PAGE);
  const PageRead page = ReadPage(wrapper, &info, 3000);
  EXPECT_EQ(page.start, 0u);
  // The cancel ejected the sheet in the path (the second): the third comes.
  EXPECT_TRUE(page.bytes == PatternPage(3, 0, 100, 300));
}

TEST_F(WrapTest, FeederStatusFromTheSource) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    uint32_t status;
  } cases[] = {
      {"paper", ScriptBuilder().Source("Sheets", "1"), ZQHARDWARE_STATUS_ADF_PAGE},
      {"no paper", ScriptBuilder().Source("Sheets", "0"), ZQHARDWARE_STATUS_ADF_EMPTY},
      {"feeder unknown", ScriptBuilder().Source("Sheets", "0").Source("Unsupported", "0x1002"),
       ZQHARDWARE_STATUS_ADF_PAGE},
      {"loaded unknown", ScriptBuilder().Source("Sheets", "0").Source("Unsupported", "0x1003"),
       ZQHARDWARE_STATUS_ADF_PAGE},
      {"source raises", ScriptBuilder().Fail(standard::CapTriplet(standard::kGetCurrent, standard::kFeederLoaded), "throw"),
       ZQHARDWARE_STATUS_FAIL},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTWAINwrap& wrapper = Initialized(c.script);
    EXPECT_EQ(wrapper.GetADFStatus(), c.status);
    wrapper_.reset();
  }
}

TEST_F(WrapTest, ConfigureSendsTheRecordAsCapabilities) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder());
  ZQSCANINFO info = ScanRecord(250, 500, 400, ZQSCANMODE_GREY);
  info.Window = {50, 20, 550, 420};
  info.Intensity = 60;
  info.Contrast = 40;
  info.AutoBack = 0x100 | 0x4000;
  info.ScanDirection = 1;
  const char options[] = "AutoCrop=1 BlankPageRemoval=1 RotateImage=2";
  info.Value = reinterpret_cast<intptr_t>(options);
  ConfigureGeometry(&info);
  twainds::ClearTripletLog();
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  auto set = [&](TW_UINT16 capability) { return LastLogged(standard::CapTriplet(standard::kSet, capability)); };
  EXPECT_EQ(set(standard::kXferMech).detail, "value=2");
  EXPECT_EQ(set(standard::kPixelType).detail, "value=1");
  EXPECT_EQ(set(standard::kXferCount).detail, "value=-1");
  EXPECT_EQ(set(standard::kDuplexEnabled).detail, "value=1");
  // 250 dpi is not offered: the first resolution above is taken.
  EXPECT_EQ(set(standard::kXResolution).rc, TWRC_SUCCESS);
  EXPECT_EQ(set(standard::kXResolution).detail, "value=300.00");
  EXPECT_EQ(set(standard::kBrightness).detail, "value=200.00");
  EXPECT_EQ(set(standard::kContrast).detail, "value=-200.00");
  EXPECT_EQ(set(standard::kRotation).detail, "value=180.00");
  EXPECT_EQ(set(standard::kAutomaticBorderDetection).detail, "value=1");
  EXPECT_EQ(set(standard::kAutoDiscardBlankPages).detail, "value=-1");
  EXPECT_EQ(set(standard::kDoubleFeedDetectionResponse).detail, "value=1");
  EXPECT_EQ(set(standard::kDsFlipBackSide).detail, "value=1");
  // The frame is the window at the resolution, moved to the top-left corner.
  EXPECT_EQ(LastLogged(standard::kImageLayoutSetTriplet).detail, "frame=0.00,0.00,2.00,1.60");
  EXPECT_EQ(info.Window.xPos, 0);
  EXPECT_EQ(info.Window.xExtent, 500);
  EXPECT_EQ(info.Window.yExtent, 400);
  EXPECT_EQ(info.WidthBytes, 500);

  // 700 dpi is above every offer: the last one below is taken.
  ZQSCANINFO high = ScanRecord(700, 700, 700);
  ASSERT_EQ(wrapper.Configure(&high), 0u);
  EXPECT_EQ(set(standard::kXResolution).detail, "value=600.00");
}

TEST_F(WrapTest, ToneTablesWithTheGammaSwitch) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, kTuneGammaKeyPath, &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"Enabled", 1), ERROR_SUCCESS);
  CTWAINwrap& wrapper = Initialized(ScriptBuilder());
  for (auto [mode, triplet, last] :
       {std::tuple{ZQSCANMODE_GREY, standard::kGrayResponseTriplet, "first=0,253,253,253 last=255,255,255,255"},
        std::tuple{ZQSCANMODE_COLOR, standard::kRgbResponseTriplet, "first=0,253,253,253 last=255,255,255,255"}}) {
    ZQSCANINFO info = ScanRecord(100, 200, 200, mode);
    info.SupportedDataTypes |= ZQSCANMODE_USE_VRS_GAMMA;
    info.Intensity = 100;  // tuned with 255, not 0: the table stays bright
    ASSERT_EQ(wrapper.Configure(&info), 0u);
    EXPECT_EQ(LastLogged(triplet).detail, last);
    EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kDsVrsMode)).detail, "value=2");
  }
}

TEST_F(WrapTest, DataSourceSettingsFillTheRecord) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Resolution", "200").Source("Frame", "0,0,4,2"));
  ZQSCANINFO info = ZqScanInfoDefaults();
  info.DataType = ZQSCANMODE_DSDATA;
  info.Duplex = 1;
  info.Endorser = 5;
  info.Compression = 1;
  info.Value = 0x4478;  // keep the source's settings, with the record's duplex choice
  ASSERT_EQ(wrapper.ConfigureDSData(&info), 0u);
  EXPECT_EQ(static_cast<intptr_t>(info.Value), 0);
  EXPECT_EQ(info.Endorser, 0);
  EXPECT_EQ(info.ScanHardware, ZQSCANHRDW_ADF);  // paper in the feeder
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kDuplexEnabled)).detail, "value=1");
  EXPECT_EQ(info.Duplex, 1);
  EXPECT_EQ(info.Compression, 0);  // the source names no scan sources to take JPEG
  EXPECT_EQ(info.Xresolution, 200);
  EXPECT_EQ(info.Yresolution, 200);
  EXPECT_EQ(info.Window.xExtent, 800);
  EXPECT_EQ(info.Window.yExtent, 400);
  EXPECT_EQ(info.WidthPixels, 800);
  EXPECT_EQ(info.Lines, 400);
  EXPECT_EQ(info.PixelBits, 24);
  EXPECT_EQ(info.WidthBytes, 2400);
  // Without paper, the feeder reports itself empty.
  wrapper_.reset();
  CTWAINwrap& empty = Initialized(ScriptBuilder().Source("Sheets", "0"));
  ZQSCANINFO none = ZqScanInfoDefaults();
  none.DataType = ZQSCANMODE_DSDATA;
  EXPECT_EQ(empty.ConfigureDSData(&none), ZQHARDWARE_STATUS_ADF_EMPTY);
}

TEST_F(WrapTest, TheNetWaitMessage) {
  struct Case {
    const char* answer;
    uint32_t status;
  } cases[] = {{nullptr, ZQHARDWARE_STATUS_OK},
               {"3,0", ZQHARDWARE_STATUS_USERCANCEL},
               {"1,4", ZQHARDWARE_STATUS_DRIVERBUSY},
               {"1,23", ZQHARDWARE_STATUS_OK},
               {"throw", ZQHARDWARE_STATUS_FAIL}};
  for (const Case& c : cases) {
    ScriptBuilder script;
    if (c.answer != nullptr) script.Fail(standard::kNetWaitTriplet, c.answer);
    CTWAINwrap& wrapper = Initialized(script);
    EXPECT_EQ(wrapper.ShowNetWaitDialog(), c.status) << (c.answer ? c.answer : "success");
    wrapper_.reset();
  }
}

}  // namespace
}  // namespace rzd::apphal::test
