// CTwainSession against the scripted data source: a whole session from open to close with the
// triplets in order, opening and its refusals, the condition results, enabling, units.
#include "engine/page_pattern.h"
#include "session_fixture.h"
#include "twain_standard.h"

#include <algorithm>

namespace rzd::apphal::test {
namespace {

using twainds::ScriptBuilder;

// Runs one image's memory transfers into rows of `bufferRows` rows; the bytes received.
std::vector<uint8_t> TransferImage(CTwainSession& session, uint32_t bytesPerRow, uint32_t bufferRows,
                                   uint32_t* transfers) {
  std::vector<uint8_t> image;
  std::vector<uint8_t> buffer(static_cast<size_t>(bytesPerRow) * bufferRows);
  *transfers = 0;
  for (int guard = 0; guard < 10000; ++guard) {
    TW_IMAGEMEMXFER transfer{};
    transfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
    const uint32_t result = session.MemoryTransfer(&transfer);
    ++*transfers;
    if (result != TWRC_SUCCESS && result != TWRC_XFERDONE) {
      ADD_FAILURE() << "transfer answered " << std::hex << result;
      break;
    }
    image.insert(image.end(), buffer.begin(), buffer.begin() + transfer.BytesWritten);
    if (result == TWRC_XFERDONE) break;
  }
  return image;
}

// The source's colour lines: 24-bit pixels blue first.
std::vector<uint8_t> ExpectedImage(uint32_t sheet, uint32_t side, uint32_t lines, uint32_t bytesPerRow) {
  std::vector<uint8_t> image;
  for (uint32_t line = 0; line < lines; ++line) {
    std::vector<uint8_t> row = twainds::SourceLine(sheet, side, line, bytesPerRow, bytesPerRow / 3, 24);
    image.insert(image.end(), row.begin(), row.end());
  }
  return image;
}

// Consecutive repeats of one triplet count once (the memory transfers of one image).
std::vector<std::string> Collapsed(std::vector<std::string> triplets) {
  triplets.erase(std::unique(triplets.begin(), triplets.end()), triplets.end());
  return triplets;
}

TEST_F(SessionTest, OneSessionFromOpenToCloseSendsTheTripletsInOrder) {
  auto session = OpenSession(ScriptBuilder().Source("Sheets", "2").Source("Resolution", "100"));
  EXPECT_EQ(session->Unit(), TWUN_INCHES);
  EXPECT_EQ(session->DsIdentity().Id, 1u);
  EXPECT_STREQ(session->DsIdentity().ProductFamily, "M48tz");

  ASSERT_EQ(session->SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_MEMORY)), 0u);
  TwainLayout layout{TwainNumber::Integer(0), TwainNumber::Integer(0), TwainNumber::Integer(1),
                     TwainNumber::FromDouble(0.5), 1, 1, 1};
  ASSERT_EQ(session->SetImageLayout(layout), 0u);

  Event event;
  ASSERT_EQ(session->EnableDS(&event), 0u);
  EXPECT_EQ(session->State(), kTwainStateSourceEnabled);
  EXPECT_TRUE(event.SameObject(session->SessionEvent()));
  TwainWaitResult waited = session->WaitForDataSource();
  ASSERT_EQ(waited.outcome, TwainWaitOutcome::TransferReady);
  EXPECT_EQ(session->State(), kTwainStateTransferReady);

  TW_SETUPMEMXFER setup{};
  ASSERT_EQ(session->GetSetupMemXfer(&setup), 0u);
  EXPECT_EQ(setup.MinBufSize, 300u);  // one colour row of 100 pixels
  for (uint32_t sheet = 1; sheet <= 2; ++sheet) {
    TW_IMAGEINFO info{};
    ASSERT_EQ(session->GetImageInfo(&info), 0u);
    EXPECT_EQ(info.ImageWidth, 100);
    EXPECT_EQ(info.ImageLength, 50);
    EXPECT_EQ(info.BitsPerPixel, 24);
    EXPECT_EQ(info.PixelType, TWPT_RGB);
    EXPECT_EQ(TwainNumber::FromFix32(info.XResolution).ToInteger(), 100);
    uint32_t transfers = 0;
    std::vector<uint8_t> image = TransferImage(*session, 300, 7, &transfers);
    EXPECT_EQ(transfers, 8u);  // 50 rows, 7 at a time
    EXPECT_EQ(session->State(), kTwainStateTransferring);
    EXPECT_TRUE(image == ExpectedImage(sheet, 0, 50, 300)) << "sheet " << sheet;
    bool more = false;
    uint32_t extra = 99;
    ASSERT_EQ(session->EndTransfer(&more, &extra), 0u);
    EXPECT_EQ(more, sheet == 1);
    EXPECT_EQ(extra, 0u);
    EXPECT_EQ(session->State(), sheet == 1 ? kTwainStateTransferReady : kTwainStateSourceEnabled);
  }
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->State(), kTwainStateSourceOpen);
  EXPECT_EQ(session->CloseDS(), 0u);
  EXPECT_EQ(session->State(), kTwainStateManagerOpen);
  EXPECT_EQ(session->CloseDSM(), 0u);
  EXPECT_EQ(session->State(), kTwainStateManagerLoaded);
  EXPECT_EQ(session->AppIdentity().Id, 0u);

  const std::vector<std::string> expected{
      standard::kGetIdentityTriplet,
      standard::kEntryPointSetTriplet,
      standard::kOpenDsTriplet,
      standard::CapTriplet(standard::kSet, standard::kIndicators),
      standard::CapTriplet(standard::kGetCurrent, standard::kIndicators),
      standard::CapTriplet(standard::kSet, standard::kXferMech),
      standard::CapTriplet(standard::kGetCurrent, standard::kXferMech),
      standard::CapTriplet(standard::kSet, standard::kUnits),
      standard::CapTriplet(standard::kGetCurrent, standard::kUnits),
      standard::CapTriplet(standard::kSet, standard::kXferMech),
      standard::kImageLayoutSetTriplet,
      standard::kEnableDsTriplet,
      standard::kProcessEventTriplet,
      standard::kSetupMemXferTriplet,
      standard::kImageInfoTriplet,
      standard::kImageMemXferTriplet,
      standard::kEndXferTriplet,
      standard::kImageInfoTriplet,
      standard::kImageMemXferTriplet,
      standard::kEndXferTriplet,
      standard::kDisableDsTriplet,
      standard::kCloseDsTriplet,
  };
  EXPECT_EQ(Collapsed(Received()), expected);
  // The entry points were handed over with their true size.
  EXPECT_EQ(LastLogged(standard::kEntryPointSetTriplet).detail, "size=" + std::to_string(sizeof(TW_ENTRYPOINT)));
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kIndicators)).detail, "value=0");
}

TEST_F(SessionTest, ACentimetreSourceGetsLengthsAndResolutionsInCentimetres) {
  auto session = OpenSession(ScriptBuilder().Source("Units", "1"));
  EXPECT_EQ(session->Unit(), TWUN_CENTIMETERS);
  // Inches were refused; the session took the first unit listed that is not pixels.
  const twainds::LoggedTriplet unitSet = LastLogged(standard::CapTriplet(standard::kSet, standard::kUnits));
  EXPECT_EQ(unitSet.rc, TWRC_SUCCESS);
  EXPECT_EQ(unitSet.detail, "value=1");

  TwainLayout letter{TwainNumber::Integer(0), TwainNumber::Integer(0), TwainNumber::FromDouble(8.5),
                     TwainNumber::Integer(11), 1, 1, 1};
  ASSERT_EQ(session->SetImageLayout(letter), 0u);
  EXPECT_EQ(LastLogged(standard::kImageLayoutSetTriplet).detail, "frame=0.00,0.00,21.59,27.94");
  TwainLayout read;
  ASSERT_EQ(session->GetImageLayout(&read), 0u);
  EXPECT_NEAR(read.right.ToDouble(), 8.5, 0.001);
  EXPECT_NEAR(read.bottom.ToDouble(), 11, 0.001);

  ASSERT_EQ(session->SetCapability(ICAP_XRESOLUTION, TWTY_FIX32, TWON_ONEVALUE, TwainNumber::Integer(300)), 0u);
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kXResolution)).detail, "value=118.11");
  TwainNumber kept;
  ASSERT_TRUE(session->KeptCapability(ICAP_XRESOLUTION, &kept));
  EXPECT_EQ(kept.ToInteger(), 300);
  TwainNumber resolution;
  TW_UINT16 itemType = 0;
  ASSERT_EQ(session->GetCapability(ICAP_XRESOLUTION, &resolution, &itemType), 0u);
  EXPECT_EQ(itemType, TWTY_FIX32);
  EXPECT_NEAR(resolution.ToDouble(), 300, 0.01);
  std::vector<TwainNumber> resolutions;
  ASSERT_EQ(session->GetCapabilityList(ICAP_XRESOLUTION, &resolutions), 0u);
  ASSERT_EQ(resolutions.size(), 7u);
  EXPECT_EQ(resolutions.front().ToInteger(), 100);
  EXPECT_EQ(resolutions.back().ToInteger(), 600);
  TwainNumber width;
  ASSERT_EQ(session->GetCapability(ICAP_PHYSICALWIDTH, &width, &itemType), 0u);
  EXPECT_NEAR(width.ToDouble(), 8.5, 0.001);
}

TEST_F(SessionTest, OpeningGoesOnOrStopsAsTheSourceAnswers) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    std::filesystem::path path;
    uint32_t result;
    uint32_t state;
    bool closedAgain;  // MSG_CLOSEDS was sent after the open
  };
  const std::vector<Case> cases{
      {"indicators unsupported", ScriptBuilder().Source("Unsupported", "0x100B"), kDataSource, 0, 4, false},
      {"only pixels", ScriptBuilder().Source("Units", "5"), kDataSource, kTwainBadValue /* inches refused */, 3, true},
      {"no transfer mechanism", ScriptBuilder().Source("Unsupported", "0x0103"), kDataSource, kTwainCapUnsupported, 3,
       true},
      {"indicators set with check-status", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kIndicators), "2,0"), kDataSource,
       0, 4, false},
      {"open refused", ScriptBuilder().Fail(standard::kOpenDsTriplet, "1,23"), kDataSource,
       kTwainSeqError, 3, true},
      {"open raises", ScriptBuilder().Fail(standard::kOpenDsTriplet, "throw"), kDataSource, kTwainBummer,
       3, true},
      {"indicators raise", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kIndicators), "throw"),
       kDataSource, kTwainBummer, 3, true},
      {"not a TWAIN 2 source", ScriptBuilder().Source("NoDS2", "1"), kDataSource, kTwainSeqError, 3, false},
      {"entry points refused", ScriptBuilder().Fail(standard::kEntryPointSetTriplet, "1,1"), kDataSource,
       kTwainSeqError, 3, false},
      {"no DS_Entry", ScriptBuilder(), RZD_PLATFORM_LIBRARY, kTwainSeqError, 3, false},
      {"no library", ScriptBuilder(), "/nonexistent/ds.so", kTwainSeqError, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    twainds::ClearTripletLog();
    ASSERT_TRUE(c.script.Write());
    auto session = NewSession();
    EXPECT_EQ(session->OpenDS(c.path), c.result);
    EXPECT_EQ(session->State(), c.state);
    const std::vector<std::string> received = Received();
    EXPECT_EQ(std::count(received.begin(), received.end(), standard::kCloseDsTriplet),
              c.closedAgain ? 1 : 0);
    if (c.state == 4) {
      EXPECT_EQ(session->CloseDS(), 0u);
    }
  }
}

TEST_F(SessionTest, IndicatorsThatCannotBeReadBackCloseTheSource) {
  ASSERT_TRUE(ScriptBuilder().Broken(CAP_INDICATORS, "badindex").Write());
  auto session = NewSession();
  EXPECT_EQ(session->OpenDS(kDataSource), kTwainBadValue);
  EXPECT_EQ(session->State(), kTwainStateManagerOpen);
  EXPECT_EQ(Received().back(), standard::kCloseDsTriplet);
}

TEST_F(SessionTest, ASecondSessionFindsTheSourceBusy) {
  auto first = OpenSession(ScriptBuilder());
  auto second = NewSession(2);
  // The source answers MSG_OPENDS with TWCC_MAXCONNECTIONS; in state 3 that is a sequence error.
  EXPECT_EQ(second->OpenDS(kDataSource), kTwainSeqError);
  EXPECT_EQ(LastLogged(standard::kOpenDsTriplet).cc, TWCC_MAXCONNECTIONS);
  EXPECT_EQ(second->State(), kTwainStateManagerOpen);
  EXPECT_EQ(first->State(), kTwainStateSourceOpen);
  EXPECT_EQ(first->CloseDS(), 0u);
}

TEST_F(SessionTest, ReopeningWithoutAPathKeepsAnOpenSource) {
  auto session = OpenSession(ScriptBuilder());
  EXPECT_EQ(session->OpenDS({}), 0u);  // already open
  EXPECT_EQ(session->OpenDS(kDataSource), kTwainSeqError);
  EXPECT_EQ(session->CloseDS(), 0u);
  EXPECT_EQ(session->OpenDS({}), 0u);  // the kept path
  EXPECT_EQ(session->State(), kTwainStateSourceOpen);
  EXPECT_EQ(session->DsPath(), kDataSource);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, ConditionResultsOfAFailingCapabilitySet) {
  struct Case {
    const char* answer;
    const char* statusAnswer;  // of DG_CONTROL/DAT_STATUS/MSG_GET, or null
    uint32_t result;
  } cases[] = {
      {"1,0", nullptr, TWRC_FAILURE},     // a failure without a condition code stays a failure
      {"1,20", nullptr, 0x140001},
      {"2,0", nullptr, 0},                // check-status without a condition is success
      {"2,10", nullptr, 0xA0002},
      {"3,0", nullptr, TWRC_CANCEL},
      {"1,20", "1,0", TWRC_FAILURE},      // the status call fails: its own answer
      {"throw", nullptr, kTwainBummer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer) + (c.statusAnswer ? std::string(" / status ") + c.statusAnswer : ""));
    ScriptBuilder script;
    script.Fail(standard::CapTriplet(standard::kSet, standard::kBrightness), c.answer);
    if (c.statusAnswer) script.Fail(standard::kStatusTriplet, c.statusAnswer);
    auto session = OpenSession(script);
    EXPECT_EQ(session->SetCapability(ICAP_BRIGHTNESS, TWTY_FIX32, TWON_ONEVALUE, TwainNumber::Integer(5)), c.result);
    TwainNumber kept;
    EXPECT_EQ(session->KeptCapability(ICAP_BRIGHTNESS, &kept), c.result == 0);
    EXPECT_EQ(session->CloseDS(), 0u);
  }
}

TEST_F(SessionTest, EnablingAnswers) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    uint32_t result;
    uint32_t state;
  };
  const std::vector<Case> cases{
      {"check-status keeps the source enabled",
       ScriptBuilder().Fail(standard::kEnableDsTriplet, "2,0"), 0, 5},
      {"check-status with a condition", ScriptBuilder().Fail(standard::kEnableDsTriplet, "2,10"), 0, 5},
      {"no paper", ScriptBuilder().Source("Sheets", "0"), TwainResult(TWCC_NOMEDIA, TWRC_FAILURE), 4},
      {"failure without a condition", ScriptBuilder().Fail(standard::kEnableDsTriplet, "1,0"),
       TWRC_FAILURE, 4},
      {"cancel", ScriptBuilder().Fail(standard::kEnableDsTriplet, "3,0"), TWRC_CANCEL, 4},
      {"exception", ScriptBuilder().Fail(standard::kEnableDsTriplet, "throw"), kTwainBummer, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = OpenSession(c.script);
    Event event;
    EXPECT_EQ(session->EnableDS(&event), c.result);
    EXPECT_EQ(session->State(), c.state);
    Drain();
    EXPECT_EQ(session->CloseDS(), 0u);
  }
}

TEST_F(SessionTest, CheckStatusOnEnableStillScans) {
  auto session = OpenSession(ScriptBuilder()
                                 .Source("Resolution", "100")
                                 .Source("Frame", "0,0,0.4,0.2")
                                 .Fail(standard::kEnableDsTriplet, "2,0"));
  ASSERT_EQ(session->SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_MEMORY)), 0u);
  ASSERT_EQ(session->EnableDS(nullptr), 0u);
  EXPECT_EQ(session->State(), kTwainStateSourceEnabled);
  ASSERT_EQ(session->WaitForDataSource().outcome, TwainWaitOutcome::TransferReady);
  uint32_t transfers = 0;
  std::vector<uint8_t> image = TransferImage(*session, 120, 100, &transfers);
  EXPECT_TRUE(image == ExpectedImage(1, 0, 20, 120));
  bool more = true;
  uint32_t extra = 0;
  EXPECT_EQ(session->EndTransfer(&more, &extra), 0u);
  EXPECT_FALSE(more);
  EXPECT_EQ(session->DisableDS(), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, OperationsOutsideTheirStatesAreRefusedWithoutCallingTheSource) {
  auto session = NewSession();
  ASSERT_EQ(session->CloseDSM(), 0u);  // state 2
  TW_SETUPMEMXFER setup{};
  TW_IMAGEINFO info{};
  TW_IMAGEMEMXFER transfer{};
  TwainLayout layout;
  TwainNumber value;
  TW_UINT16 itemType = 0;
  std::vector<TwainNumber> values;
  std::vector<std::string> texts;
  uint32_t current = 0;
  bool more = false, isEvent = false;
  uint32_t extra = 0;
  TW_UINT16 twMessage = 0;
  auto all = [&] {
    return std::vector<uint32_t>{
        session->CloseDS(),
        session->EnableDS(nullptr),
        session->DisableDS(),
        session->UserInterfaceMessage(MSG_DS_NETWAIT, nullptr),
        session->ProcessEvent(ThreadMessage{}, &twMessage, &isEvent),
        session->EndTransfer(&more, &extra),
        session->ResetTransfers(),
        session->GetSetupMemXfer(&setup),
        session->GetImageInfo(&info),
        session->GetExtImageInfo(nullptr),
        session->GetImageLayout(&layout),
        session->SetImageLayout(layout),
        session->MemoryTransfer(&transfer),
        session->SetCustomDSData(nullptr),
        session->SetGrayResponse(nullptr),
        session->SetRGBResponse(nullptr),
        session->GetCapability(CAP_XFERCOUNT, &value, &itemType),
        session->GetCapabilityList(CAP_XFERCOUNT, &values),
        session->SetCapability(CAP_XFERCOUNT, TWTY_INT16, TWON_ONEVALUE, TwainNumber::Integer(1)),
        session->SetCapabilityString(0x8021, TWTY_STR32, "x"),
        session->GetCapabilityStrings(0x8021, &texts, &current),
    };
  };
  for (uint32_t result : all()) EXPECT_EQ(result, kTwainSeqError);
  EXPECT_EQ(session->OpenDS(kDataSource), kTwainSeqError);
  EXPECT_EQ(session->CloseDSM(), kTwainSeqError);

  // Open (state 4): the operations of states 5 to 7 are refused the same way.
  ASSERT_TRUE(ScriptBuilder().Write());
  ASSERT_EQ(session->OpenDSM(ApplicationIdentity(1)), 0u);
  ASSERT_EQ(session->OpenDS(kDataSource), 0u);
  const size_t logged = Received().size();
  EXPECT_EQ(session->DisableDS(), kTwainSeqError);
  EXPECT_EQ(session->ProcessEvent(ThreadMessage{}, &twMessage, &isEvent), kTwainSeqError);
  EXPECT_EQ(session->EndTransfer(&more, &extra), kTwainSeqError);
  EXPECT_EQ(session->ResetTransfers(), kTwainSeqError);
  EXPECT_EQ(session->GetImageInfo(&info), kTwainSeqError);
  EXPECT_EQ(session->MemoryTransfer(&transfer), kTwainSeqError);
  EXPECT_EQ(Received().size(), logged);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, TextCapabilitiesAreCutToTheirField) {
  auto session = OpenSession(ScriptBuilder());
  const std::string longText(40, 'x');
  ASSERT_EQ(session->SetCapabilityString(0x8021, TWTY_STR32, longText), 0u);
  EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kDsSourceName)).detail, "text=" + std::string(32, 'x'));
  std::vector<std::string> texts;
  uint32_t current = 9;
  ASSERT_EQ(session->GetCapabilityStrings(0x8021, &texts, &current), 0u);
  EXPECT_EQ(texts, std::vector<std::string>{std::string(32, 'x')});
  EXPECT_EQ(current, 0u);
  EXPECT_EQ(session->SetCapabilityString(0x8021, TWTY_UINT16, "x"), kTwainBadValue);
  EXPECT_EQ(session->SetCapability(0x8021, TWTY_STR32, TWON_ONEVALUE, TwainNumber::Integer(0)), kTwainBadValue);
  EXPECT_EQ(session->SetCapability(0x8021, TWTY_UINT16, 99, TwainNumber::Integer(0)), kTwainBadValue);
  EXPECT_EQ(session->CloseDS(), 0u);
}

TEST_F(SessionTest, ContainersOfEveryKindCarryTheValue) {
  auto session = OpenSession(ScriptBuilder());
  struct Case {
    TW_UINT16 conType;
    TW_UINT16 itemType;
    TwainNumber value;
    TwainNumber readBack;
  } cases[] = {
      {TWON_ONEVALUE, TWTY_INT16, TwainNumber::Integer(-1), TwainNumber::Integer(-1)},
      {TWON_ENUMERATION, TWTY_UINT16, TwainNumber::Integer(7), TwainNumber::Integer(7)},
      {TWON_RANGE, TWTY_UINT32, TwainNumber::Integer(123456), TwainNumber::Integer(123456)},
      {TWON_ONEVALUE, TWTY_BOOL, TwainNumber::Integer(5), TwainNumber::Integer(1)},
      {TWON_ONEVALUE, TWTY_INT32, TwainNumber::FromDouble(2.5), TwainNumber::Integer(3)},  // rounded
      {TWON_ONEVALUE, TWTY_FIX32, TwainNumber::FromDouble(-2.25), TwainNumber::FromDouble(-2.25)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.conType * 100 + c.itemType);
    ASSERT_EQ(session->SetCapability(0x8050, c.itemType, c.conType, c.value), 0u);
    TwainNumber value;
    TW_UINT16 itemType = 0;
    ASSERT_EQ(session->GetCapability(0x8050, &value, &itemType), 0u);
    EXPECT_EQ(itemType, c.itemType);
    EXPECT_EQ(value, c.readBack);
  }
  // An empty array is taken as it is.
  EXPECT_EQ(session->SetCapability(CAP_DOUBLEFEEDDETECTION, TWTY_UINT16, TWON_ARRAY, TwainNumber::Integer(0)), 0u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

}  // namespace
}  // namespace rzd::apphal::test
