// What the wrapper hands the data source from the record and takes back from it: the pointers
// and handles the record carries (the custom data, the source's own messages), the overscan as
// the standard's type, the extended page information and its handles, and the choice of a scan
// source away from the flatbed.
#include "platform/twain.h"
#include "twain_standard.h"
#include "wrap_fixture.h"

#include <cstring>

namespace rzd::apphal::test {
namespace {

using twainds::ScriptBuilder;

// A record that asks the source to keep its own settings.
ZQSCANINFO SourceDataRecord(intptr_t value) {
  ZQSCANINFO info = ZqScanInfoDefaults();
  info.DataType = ZQSCANMODE_DSDATA;
  info.Value = value;
  return info;
}

// A block of global memory holding `text` and its terminator, as the application hands it over.
HGLOBAL TextBlock(const std::string& text) {
  HGLOBAL block = GlobalAlloc(kGlobalMovable | kGlobalZeroInit, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  return block;
}

std::string Address(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof(text), "data=0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

TEST_F(WrapTest, TheCustomDataHandleInMirrorReachesTheSourceWhole) {
  const std::string settings = "Profile=Invoices;Dpi=300";
  HGLOBAL block = TextBlock(settings);
  // In this 64-bit build the handle's upper half is not zero: a cut handle would name no block.
  ASSERT_GT(reinterpret_cast<uintptr_t>(block), uintptr_t{0xFFFFFFFF});
  CTWAINwrap& wrapper = Initialized(ScriptBuilder());
  for (intptr_t request : {intptr_t{0x4477}, intptr_t{0x4478}}) {
    SCOPED_TRACE(request);
    twainds::ClearTripletLog();
    ZQSCANINFO info = SourceDataRecord(request);
    info.Mirror = reinterpret_cast<intptr_t>(block);
    info.Negative = static_cast<int32_t>(settings.size());
    ASSERT_EQ(wrapper.ConfigureDSData(&info), 0u);
    EXPECT_EQ(static_cast<intptr_t>(info.Value), 0);
    const twainds::LoggedTriplet custom = LastLogged(standard::kCustomDsDataTriplet);
    EXPECT_EQ(custom.rc, TWRC_SUCCESS);
    EXPECT_EQ(custom.detail, "length=24 data=" + settings);
    // The custom data go first, before the transfer settings.
    ASSERT_FALSE(Received().empty());
    EXPECT_EQ(Received().front(), standard::kCustomDsDataTriplet);
  }
  // Without both a handle and a length, or for another request, no custom data are sent.
  for (auto [request, mirror, negative] : {std::tuple{intptr_t{0x4477}, intptr_t{0}, 24},
                                           std::tuple{intptr_t{0x4477}, reinterpret_cast<intptr_t>(block), 0},
                                           std::tuple{intptr_t{0x4479}, reinterpret_cast<intptr_t>(block), 24}}) {
    twainds::ClearTripletLog();
    ZQSCANINFO info = SourceDataRecord(request);
    info.Mirror = mirror;
    info.Negative = negative;
    ASSERT_EQ(wrapper.ConfigureDSData(&info), 0u);
    EXPECT_EQ(CountReceived(standard::kCustomDsDataTriplet), 0) << request << " " << negative;
  }
  GlobalFree(block);
}

TEST_F(WrapTest, TheApplicationsPointersReachTheSourcesOwnMessagesWhole) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder().Source("Resolution", "100"));
  ZQSCANINFO info = ScanRecord(100, 100, 100);
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  auto direction = std::make_unique<uint64_t[]>(4);
  auto format = std::make_unique<uint64_t[]>(4);
  info.ScanDirection = reinterpret_cast<intptr_t>(direction.get());
  info.RawDataFormat = reinterpret_cast<intptr_t>(format.get());
  ASSERT_EQ(wrapper.StartScan(&info, ""), 0u);
  EXPECT_EQ(LastLogged(standard::kUser2Triplet).detail, Address(direction.get()));
  EXPECT_EQ(LastLogged(standard::kUser3Triplet).detail, Address(format.get()));
  // The finish hands the direction's pointer on once more.
  twainds::ClearTripletLog();
  std::vector<uint8_t> buffer(30000);
  uint32_t status = 0;
  bool last = false;
  wrapper.ReadScan(&info, buffer.data(), static_cast<int32_t>(buffer.size()), &status, &last);
  EXPECT_EQ(wrapper.FinishScan(&info), 0u);
  EXPECT_EQ(LastLogged(standard::kUser2Triplet).detail, Address(direction.get()));
}

// ICAP_OVERSCAN is a TW_UINT16 of the TWOV_ values; the scripted source is strict about it.
TEST_F(WrapTest, TheOverscanGoesAsTheStandardsType) {
  struct Case {
    const char* name;
    ScriptBuilder script;
    int32_t autoBack;
    uint32_t status;
    const char* sent;    // detail of the overscan's MSG_SET
    bool responseSent;   // the configuration went on to the tone table
  };
  const std::vector<Case> cases{
      {"overscan", ScriptBuilder(), 0x800, 0, "value=4", true},
      {"no overscan", ScriptBuilder(), 0, 0, "value=0", true},
      {"refused", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kOverscan), "1,10"), 0x800,
       ZQHARDWARE_STATUS_FAIL, "scripted", false},
      {"refused while none is asked for", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kOverscan), "1,10"),
       0, ZQHARDWARE_STATUS_FAIL, "scripted", false},
      {"unknown while none is asked for", ScriptBuilder().Source("Unsupported", "0x1149"), 0, 0, "", true},
      {"unknown while asked for", ScriptBuilder().Source("Unsupported", "0x1149"), 0x800, ZQHARDWARE_STATUS_FAIL, "",
       false},
      {"the source raises", ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, standard::kOverscan), "throw"),
       0x800, ZQHARDWARE_STATUS_FAIL, "throw", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    twainds::ClearTripletLog();
    CTWAINwrap& wrapper = Initialized(c.script);
    ZQSCANINFO info = ScanRecord(100, 200, 200, ZQSCANMODE_GREY);
    info.SupportedDataTypes |= ZQSCANMODE_USE_VRS_GAMMA;
    info.AutoBack = c.autoBack;
    EXPECT_EQ(wrapper.Configure(&info), c.status);
    const twainds::LoggedTriplet overscan = LastLogged(standard::CapTriplet(standard::kSet, standard::kOverscan));
    EXPECT_EQ(overscan.detail, c.sent);
    EXPECT_EQ(CountReceived(standard::kGrayResponseTriplet), c.responseSent ? 1 : 0);
    if (c.status == 0 && std::string(c.sent).empty() == false) {
      // The source holds it as a TW_UINT16.
      TwainNumber value;
      TW_UINT16 itemType = 0;
      ASSERT_EQ(wrapper.Session()->GetCapability(ICAP_OVERSCAN, &value, &itemType), 0u);
      EXPECT_EQ(itemType, standard::kTypeUint16);
      EXPECT_EQ(value.ToInteger(), c.autoBack != 0 ? standard::kOverscanAll : standard::kOverscanNone);
    }
    wrapper_.reset();
    Drain();
  }
}

// The source answers the page number as unavailable and puts its printer text into a handle of
// global memory at every request: each handle is freed, and the unavailable entry is not used.
TEST_F(WrapTest, ExtendedPageInformationFreesItsHandlesAndSkipsFailedEntries) {
  CTWAINwrap& wrapper = Initialized(ScriptBuilder()
                                        .Source("Sheets", "2")
                                        .Source("Duplex", "1")
                                        .Source("Resolution", "100")
                                        .Source("PrinterText", "Batch 7 / Invoice")
                                        .Source("UnavailableInfo", "0x123B"));
  ZQSCANINFO info = ScanRecord(100, 100, 50);
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  info.PagesScanned = 77;  // an unavailable page number leaves it as it was
  const size_t blocksBefore = GlobalBlockCount();
  for (int32_t side : {0, 1, 0, 1}) {
    SCOPED_TRACE(side);
    const PageRead page = ReadPage(wrapper, &info, 300 * 50);
    ASSERT_EQ(page.start, 0u);
    EXPECT_EQ(page.readStatus, 0u);
    EXPECT_EQ(info.PagesScanned, 77);
    EXPECT_EQ(info.ActiveSide, side);  // the side entry was answered
    EXPECT_EQ(GlobalBlockCount(), blocksBefore);
  }
  // The source did hand out a text handle at every request: two per page.
  int requests = 0;
  for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
    if (entry.triplet != standard::kExtImageInfoTriplet) continue;
    ++requests;
    EXPECT_EQ(entry.detail, "infos=13 handles=1");
  }
  EXPECT_EQ(requests, 8);
  EXPECT_EQ(GlobalBlockCount(), blocksBefore);
}

TEST_F(WrapTest, AnAnsweredPageNumberIsTaken) {
  CTWAINwrap& wrapper = Initialized(
      ScriptBuilder().Source("Sheets", "2").Source("Resolution", "100").Source("PrinterText", "Batch 7"));
  ZQSCANINFO info = ScanRecord(100, 100, 50);
  info.Duplex = 0;
  ASSERT_EQ(wrapper.Configure(&info), 0u);
  const size_t blocksBefore = GlobalBlockCount();
  for (int32_t sheet : {1, 2}) {
    const PageRead page = ReadPage(wrapper, &info, 300 * 50);
    ASSERT_EQ(page.start, 0u);
    EXPECT_EQ(info.PagesScanned, sheet);
    EXPECT_EQ(info.ActiveSide, 0);
  }
  EXPECT_EQ(GlobalBlockCount(), blocksBefore);
}

// ConfigureDSData step by step from the flatbed to the first scan source whose camera is on.
TEST_F(WrapTest, AFlatbedSourceIsLeftOnlyForOneWhoseCameraIsEnabled) {
  struct Case {
    const char* name;
    const char* nameType;
    const char* cameras;
    std::vector<std::string> tried;  // the names set before the feeder is read
    std::string selected;            // the current name afterwards
  };
  const std::vector<Case> cases{
      {"the second", "12", "ADF Back", {"text=ADF Front", "text=ADF Back"}, "ADF Back"},
      {"the first", "12", "ADF Front,ADF Back", {"text=ADF Front"}, "ADF Front"},
      {"none: the flatbed stays", "12", "", {"text=ADF Front", "text=ADF Back", "text=Flatbed"}, "Flatbed"},
      {"names that are no TW_STR255", "9", "ADF Back", {}, "Flatbed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTWAINwrap& wrapper = Initialized(ScriptBuilder()
                                          .Source("SourceNames", "Flatbed,ADF Front,ADF Back")
                                          .Source("SourceNameType", c.nameType)
                                          .Source("CameraEnabled", c.cameras));
    twainds::ClearTripletLog();
    ZQSCANINFO info = SourceDataRecord(0);
    ASSERT_EQ(wrapper.ConfigureDSData(&info), 0u);
    // The sets of the scan source between its first read and the read of the feeder.
    const std::vector<twainds::LoggedTriplet> log = twainds::ReadTripletLog();
    const std::string readNames = standard::CapTriplet(standard::kGet, standard::kDsSourceName);
    const std::string setName = standard::CapTriplet(standard::kSet, standard::kDsSourceName);
    const std::string readLoaded = standard::CapTriplet(standard::kGetCurrent, standard::kFeederLoaded);
    std::vector<std::string> tried;
    bool inStep = false;
    for (const twainds::LoggedTriplet& entry : log) {
      if (entry.triplet == readNames && !inStep && tried.empty()) inStep = true;
      if (entry.triplet == readLoaded) break;
      if (inStep && entry.triplet == setName) tried.push_back(entry.detail);
    }
    EXPECT_EQ(tried, c.tried);
    std::vector<std::string> names;
    uint32_t current = 99;
    TW_UINT16 itemType = 0;
    ASSERT_EQ(wrapper.Session()->GetCapabilityStrings(kCapDsSourceName, &names, &current, &itemType), 0u);
    ASSERT_LT(current, names.size());
    EXPECT_EQ(names[current], c.selected);
    wrapper_.reset();
    Drain();
  }
}

// A check status (here with condition code 5, TWCC_OPERATIONERROR) is the source taking the
// value in its own way: it maps to success, so the configuration goes on to its next setting; a
// failure ends it with its mapping.
TEST_F(WrapTest, ACheckStatusGoesOnAndAFailureEndsTheConfiguration) {
  constexpr char kCheckStatus[] = "2,5";
  constexpr char kFailure[] = "1,0";
  struct Case {
    const char* name;
    uint16_t capability;
    const char* answer;  // the opening sets the first two too: the configuration's is the second
    uint32_t status;
    bool wentOn;  // the pixel type, set after these three, was sent
  };
  const Case cases[] = {
      {"indicators checked", standard::kIndicators, "2,5,2", 0, true},
      {"transfer mechanism checked", standard::kXferMech, "2,5,2", 0, true},
      {"transfer count checked", standard::kXferCount, kCheckStatus, 0, true},
      {"transfer count refused", standard::kXferCount, kFailure, ZQHARDWARE_STATUS_FAIL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTWAINwrap& wrapper = Initialized(ScriptBuilder().Fail(standard::CapTriplet(standard::kSet, c.capability), c.answer));
    twainds::ClearTripletLog();
    ZQSCANINFO info = ScanRecord(300, 200, 200, ZQSCANMODE_GREY);
    EXPECT_EQ(wrapper.Configure(&info), c.status);
    EXPECT_EQ(CountReceived(standard::CapTriplet(standard::kSet, standard::kPixelType)) > 0, c.wentOn);
    wrapper_.reset();
    Drain();
  }

  // The compression of each scan source in the source's own settings likewise: a checked
  // compression still gets its JPEG switch, and the source selected before the round over the
  // names (ADF Front, whose camera is enabled) is selected again after the round, which ends on
  // ADF Back.
  for (const char* answer : {kCheckStatus, kFailure}) {
    SCOPED_TRACE(answer);
    const bool checked = std::string(answer) == kCheckStatus;
    CTWAINwrap& wrapper = Initialized(ScriptBuilder()
                                          .Source("SourceNames", "Flatbed,ADF Front,ADF Back")
                                          .Source("CameraEnabled", "ADF Front")
                                          .Fail(standard::CapTriplet(standard::kSet, standard::kCompression), answer));
    twainds::ClearTripletLog();
    ZQSCANINFO info = SourceDataRecord(0);
    info.Compression = 1;
    EXPECT_EQ(wrapper.ConfigureDSData(&info), checked ? 0u : ZQHARDWARE_STATUS_FAIL);
    EXPECT_EQ(CountReceived(standard::CapTriplet(standard::kSet, standard::kDsJpeg)) > 0, checked);
    if (checked) {
      EXPECT_EQ(LastLogged(standard::CapTriplet(standard::kSet, standard::kDsSourceName)).detail, "text=ADF Front");
    }
    wrapper_.reset();
    Drain();
  }
}

}  // namespace
}  // namespace rzd::apphal::test
