// The scripted data source as a session sees it: sheets and sides, pixel types and bit depths,
// JPEG streams, transfer rules, resets, and the triplet log.
#include "engine/page_pattern.h"
#include "session_fixture.h"
#include "twain_standard.h"

#include <cstdio>

namespace rzd::twainds {
namespace {

using apphal::CTwainSession;
using apphal::TwainNumber;
using apphal::test::SessionTest;
namespace standard = apphal::test::standard;

class DataSourceTest : public SessionTest {
 protected:
  std::shared_ptr<CTwainSession> Enabled(const ScriptBuilder& script) {
    auto session = OpenSession(script);
    EXPECT_EQ(session->SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_MEMORY)), 0u);
    EXPECT_EQ(session->EnableDS(nullptr), 0u);
    EXPECT_EQ(session->WaitForDataSource().outcome, apphal::TwainWaitOutcome::TransferReady);
    return session;
  }

  // The whole image in chunks of `chunk` bytes.
  static std::vector<uint8_t> Transfer(CTwainSession& session, uint32_t chunk) {
    std::vector<uint8_t> image, buffer(chunk);
    for (;;) {
      TW_IMAGEMEMXFER transfer{};
      transfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, chunk, buffer.data()};
      const uint32_t result = session.MemoryTransfer(&transfer);
      if (result != TWRC_SUCCESS && result != TWRC_XFERDONE) {
        ADD_FAILURE() << "transfer answered " << result;
        return image;
      }
      image.insert(image.end(), buffer.begin(), buffer.begin() + transfer.BytesWritten);
      if (result == TWRC_XFERDONE) return image;
    }
  }
};

TEST_F(DataSourceTest, DuplexSheetsComeFrontThenBackWithTheirPendingCounts) {
  auto session = Enabled(ScriptBuilder()
                             .Source("Sheets", "2")
                             .Source("Duplex", "1")
                             .Source("Resolution", "100")
                             .Source("Frame", "0,0,0.2,0.1"));
  const std::pair<uint32_t, uint32_t> expected[] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
  for (size_t i = 0; i < 4; ++i) {
    const auto [sheet, side] = expected[i];
    SCOPED_TRACE(i);
    TW_IMAGEINFO info{};
    ASSERT_EQ(session->GetImageInfo(&info), 0u);
    struct {
      TW_UINT32 count;
      TW_INFO info[2];
    } record{2, {{0x123B, 0, 0, 0, 0}, {0x1245, 0, 0, 0, 0}}};
    ASSERT_EQ(session->GetExtImageInfo(&record), 0u);
    const TW_UINTPTR page = record.info[0].Item;  // copied out of the packed records
    const TW_UINTPTR pageSide = record.info[1].Item;
    EXPECT_EQ(page, sheet);
    EXPECT_EQ(pageSide, side + 1);
    std::vector<uint8_t> image = Transfer(*session, 1000);
    ASSERT_EQ(image.size(), 10u * 60);  // 20 colour pixels a row, 10 rows
    // The first pixel comes blue first: pattern bytes 2, 1, 0 (side, sheet low, sheet high).
    EXPECT_EQ(image[2], (sheet >> 8) & 0xFF);
    EXPECT_EQ(image[1], sheet & 0xFF);
    EXPECT_EQ(image[0], side);
    bool more = false;
    uint32_t extra = 0;
    ASSERT_EQ(session->EndTransfer(&more, &extra), 0u);
    EXPECT_EQ(more, i < 3);
    EXPECT_EQ(LastLogged(standard::kEndXferTriplet).detail, "count=" + std::to_string(3 - i));
  }
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(DataSourceTest, EveryPixelTypeAndBitDepthCarriesThePattern) {
  struct Case {
    TW_UINT16 pixelType;
    int bitDepth;
    uint32_t bytesPerRow;  // 30 pixels, rows padded to four bytes
  } cases[] = {{TWPT_BW, 1, 4}, {TWPT_GRAY, 8, 32}, {TWPT_GRAY, 16, 60}, {TWPT_RGB, 24, 92}, {TWPT_RGB, 48, 180}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitDepth);
    auto session = Enabled(ScriptBuilder()
                               .Source("PixelType", std::to_string(c.pixelType))
                               .Source("BitDepth", std::to_string(c.bitDepth))
                               .Source("Resolution", "100")
                               .Source("Frame", "0,0,0.3,0.05"));
    TW_IMAGEINFO info{};
    ASSERT_EQ(session->GetImageInfo(&info), 0u);
    EXPECT_EQ(info.PixelType, c.pixelType);
    EXPECT_EQ(info.BitsPerPixel, c.bitDepth);
    EXPECT_EQ(info.ImageWidth, 30);
    EXPECT_EQ(info.ImageLength, 5);
    std::vector<uint8_t> image = Transfer(*session, c.bytesPerRow * 2);
    std::vector<uint8_t> expected;
    for (uint32_t line = 0; line < 5; ++line) {
      std::vector<uint8_t> row = twainds::SourceLine(1, 0, line, c.bytesPerRow, 30, static_cast<uint32_t>(c.bitDepth));
      expected.insert(expected.end(), row.begin(), row.end());
    }
    EXPECT_TRUE(image == expected);
    bool more = true;
    uint32_t extra = 0;
    EXPECT_EQ(session->EndTransfer(&more, &extra), 0u);
    EXPECT_EQ(session->DisableDS(), 0u);
    EXPECT_EQ(session->CloseDS(), 0u);
  }
}

TEST_F(DataSourceTest, JpegSidesAreWholeStreamsOfThePattern) {
  for (TW_UINT16 pixelType : {TWPT_GRAY, TWPT_RGB}) {
    SCOPED_TRACE(pixelType);
    auto session = Enabled(ScriptBuilder()
                               .Source("PixelType", std::to_string(pixelType))
                               .Source("Compression", "6")
                               .Source("Resolution", "100")
                               .Source("Frame", "0,0,0.64,0.32"));
    TW_IMAGEINFO info{};
    ASSERT_EQ(session->GetImageInfo(&info), 0u);
    EXPECT_EQ(info.Compression, TWCP_JPEG);
    std::vector<uint8_t> stream = Transfer(*session, 512);  // several transfers per stream
    ASSERT_GT(stream.size(), 512u);
    EXPECT_EQ(stream[0], 0xFF);
    EXPECT_EQ(stream[1], 0xD8);
    EXPECT_EQ(stream[stream.size() - 2], 0xFF);
    EXPECT_EQ(stream.back(), 0xD9);
    uint32_t width = 0, height = 0;
    int components = 0;
    std::vector<uint8_t> samples = twainds::DecodeJpeg(stream, &width, &height, &components);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 32u);
    EXPECT_EQ(components, pixelType == TWPT_RGB ? 3 : 1);
    ASSERT_EQ(samples.size(), 64u * 32 * components);
    // Lossy, but close to the pattern on average.
    double difference = 0;
    for (uint32_t line = 0; line < 32; ++line) {
      std::vector<uint8_t> row = engine::PatternLine(1, 0, line, 64 * components);
      for (size_t i = 0; i < row.size(); ++i) difference += std::abs(int(row[i]) - int(samples[line * row.size() + i]));
    }
    EXPECT_LT(difference / samples.size(), 40.0);
    bool more = true;
    uint32_t extra = 0;
    EXPECT_EQ(session->EndTransfer(&more, &extra), 0u);
    EXPECT_EQ(session->DisableDS(), 0u);
    EXPECT_EQ(session->CloseDS(), 0u);
  }
}

TEST_F(DataSourceTest, TransfersNeedMemoryMechanismAndRoomForARow) {
  auto session = OpenSession(ScriptBuilder().Source("Resolution", "100").Source("Frame", "0,0,1,1"));
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  ASSERT_EQ(session->WaitForDataSource().outcome, apphal::TwainWaitOutcome::TransferReady);
  std::vector<uint8_t> buffer(4096);
  TW_IMAGEMEMXFER transfer{};
  transfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 4096, buffer.data()};
  // The transfer mechanism is still the native one the session set at opening.
  EXPECT_EQ(session->MemoryTransfer(&transfer), apphal::TwainResult(TWCC_SEQERROR, TWRC_FAILURE));
  EXPECT_EQ(session->DisableDS(), 0u);
  ASSERT_EQ(session->SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_MEMORY)), 0u);
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  ASSERT_EQ(session->WaitForDataSource().outcome, apphal::TwainWaitOutcome::TransferReady);
  transfer.Memory.Length = 299;  // one colour row of 100 pixels needs 300
  EXPECT_EQ(session->MemoryTransfer(&transfer), apphal::TwainResult(TWCC_BADVALUE, TWRC_FAILURE));
  transfer.Memory = TW_MEMORY{TWMF_APPOWNS, 4096, buffer.data()};
  EXPECT_EQ(session->MemoryTransfer(&transfer), apphal::TwainResult(TWCC_BADVALUE, TWRC_FAILURE));
  EXPECT_EQ(session->ResetTransfers(), 0u);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(DataSourceTest, AResetEjectsTheSheetInThePathAndKeepsTheOthers) {
  auto session = Enabled(ScriptBuilder().Source("Sheets", "3").Source("Resolution", "100").Source("Frame", "0,0,0.1,0.1"));
  ASSERT_EQ(session->ResetTransfers(), 0u);
  EXPECT_EQ(session->State(), apphal::kTwainStateSourceEnabled);
  ASSERT_EQ(session->DisableDS(), 0u);
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  ASSERT_EQ(session->WaitForDataSource().outcome, apphal::TwainWaitOutcome::TransferReady);
  std::vector<uint8_t> image = Transfer(*session, 1000);
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(image[1], 2);  // the second sheet
  bool more = false;
  uint32_t extra = 0;
  ASSERT_EQ(session->EndTransfer(&more, &extra), 0u);
  EXPECT_TRUE(more);  // the third is still in the feeder
  TwainNumber loaded;
  TW_UINT16 itemType = 0;
  EXPECT_EQ(session->ResetTransfers(), 0u);
  EXPECT_EQ(session->DisableDS(), 0u);
  ASSERT_EQ(session->GetCapability(CAP_FEEDERLOADED, &loaded, &itemType), 0u);
  EXPECT_EQ(loaded.Raw(), 0);  // the third sheet went into the path with the reset
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(DataSourceTest, TheLogHasALineForEveryTripletAndCallback) {
  auto session = OpenSession(ScriptBuilder().Source("Signal", "callback"));
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  ASSERT_EQ(session->WaitForDataSource().outcome, apphal::TwainWaitOutcome::TransferReady);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
  std::vector<LoggedTriplet> log = ReadTripletLog();
  ASSERT_GE(log.size(), 12u);
  EXPECT_EQ(log.front().triplet, standard::kGetIdentityTriplet);
  EXPECT_EQ(log.back().triplet, standard::kCloseDsTriplet);
  size_t callbacks = 0;
  for (const LoggedTriplet& entry : log) {
    if (!entry.callback) continue;
    ++callbacks;
    EXPECT_EQ(entry.triplet, standard::kXferReadyCallback);
    EXPECT_EQ(entry.rc, TWRC_SUCCESS);
  }
  EXPECT_EQ(callbacks, 1u);
  EXPECT_EQ(TripletName(0x7, 0x1234, 0x8009), "0x0007/0x1234/0x8009");
  EXPECT_EQ(CapabilityTripletName(MSG_GET, ICAP_UNITS), "DG_CONTROL/DAT_CAPABILITY/MSG_GET#0x0102");
  EXPECT_EQ(TripletNumbers(0x7, 0x1234, 0x8009), "0x0007/0x1234/0x8009");
  EXPECT_EQ(CapabilityTripletNumbers(MSG_GET, ICAP_UNITS), "0x0001/0x0001/0x0001#0x0102");
  // Each line names the triplet too, for the reader of the log.
  EXPECT_EQ(log.front().name, "DG_CONTROL/DAT_IDENTITY/MSG_DS_GETIDENTITY");
  EXPECT_EQ(log.back().name, "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS");
}

TEST_F(DataSourceTest, AScriptedAnswerCanHitOnlyTheNthCall) {
  auto session = OpenSession(ScriptBuilder().Fail(standard::CapTriplet(standard::kGetCurrent, standard::kUnits), "1,24,2"));
  TwainNumber unit;
  TW_UINT16 itemType = 0;
  // The session read the unit once while opening; the second read is the scripted one.
  EXPECT_EQ(session->GetCapability(ICAP_UNITS, &unit, &itemType), apphal::TwainResult(TWCC_INTERLOCK, TWRC_FAILURE));
  EXPECT_EQ(session->GetCapability(ICAP_UNITS, &unit, &itemType), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

}  // namespace
}  // namespace rzd::twainds
