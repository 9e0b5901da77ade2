// The page documents of whole batches, through the exported Control and Read against rzd-engine:
// the names of the document source, image source and stream, the format, the over-scan, the
// estimates, the frame's offset, the tone flag and the MCU count, also for both sides in one
// transfer; the names after a switch of the window description; and the document's own trace and
// failure lines.
#include "scan/read_result.h"
#include "scan/scan_steps.h"
#include "scan_fixture.h"
#include "testsupport/log_capture.h"

#include "platform/resources.h"

#include <functional>
#include <memory>
#include <optional>

namespace rzd::lowdrv::test {
namespace {

// An address in this program, which carries the driver's resources.
const char kModuleAnchor = 0;

// The driver's unit description (resource XML 110) with `edit` made to it, in place of the
// driver's own for the object's life: the settings of a unit of the engine family that differ
// from the model's (more document sources, a tone item).
class DescriptionOverride {
 public:
  explicit DescriptionOverride(const std::function<void(MSXML6StoreSTL&)>& edit) {
    const std::optional<std::u16string> original =
        FindUtf16TextResource(&kModuleAnchor, kResourceTypeXml, IDR_XML_SUPPORTED_SETTINGS);
    EXPECT_TRUE(original);
    MSXML6StoreSTL store;
    EXPECT_TRUE(store.LoadFromString(original.value_or(u"")));
    edit(store);
    std::u16string text;
    EXPECT_TRUE(store.GetDocumentXML(text));
    bytes_ = {0xFF, 0xFE};
    for (char16_t c : text) {
      bytes_.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes_.push_back(static_cast<uint8_t>(c >> 8));
    }
    registration_ = std::make_unique<ResourceRegistration>(&kModuleAnchor, kResourceTypeXml, IDR_XML_SUPPORTED_SETTINGS,
                                                           bytes_.data(), bytes_.size());
  }

 private:
  std::vector<uint8_t> bytes_;
  std::unique_ptr<ResourceRegistration> registration_;
};

// Adds a copy of the model's document source under another ID (its type stays "ADF", so the
// model's source keeps the first role).
void AddSource(MSXML6StoreSTL& store, const std::u16string& id) {
  ASSERT_TRUE(store.SelectNode(u"//Item[@Name='DocumentSource'][@ID='ADF']"));
  std::u16string xml;
  ASSERT_TRUE(store.GetNodeXML(xml));
  MSXML6StoreSTL copy;
  ASSERT_TRUE(copy.LoadFromString(xml));
  ASSERT_TRUE(copy.SelectRoot());
  ASSERT_TRUE(copy.SetAttribute(u"ID", id));
  ASSERT_TRUE(store.SelectNode(u"//DocumentSources/List"));
  ASSERT_TRUE(store.AppendCopyOf(&copy));
}

// The scan choice's edits for the document source `source` only.
std::vector<SettingEdit> Under(const std::u16string& source, std::vector<SettingEdit> edits) {
  for (SettingEdit& e : edits) {
    if (e.path.rfind(u"//Item[@ID=", 0) == 0) e.path = u"//Item[@Name='DocumentSource'][@ID='" + source + u"']" + e.path;
  }
  return edits;
}

ScanChoice Choice(ScanChoice::Kind kind, bool duplex, int dpi, bool jpeg = false) {
  ScanChoice choice;
  choice.kind = kind;
  choice.duplex = duplex;
  choice.dpi = dpi;
  choice.jpeg = jpeg;
  return choice;
}

// What the documents of one side must name.
struct SideNames {
  const char16_t* side;
  const char16_t* imageSource;
  const char16_t* stream;
};

struct MetaCase {
  const char* name;
  ScanChoice choice;
  const char* duplexMode;
  bool noTruncation;       // the unit takes no truncation lengths (inquiry byte 94 bit 2 cleared)
  bool toneItem;           // the stream carries UseVRSGammaTable, set "On"
  int leftMils;
  int topMils;
  const char16_t* pixels;
  int bitsPerPixel;
  const char16_t* overScan;
  const char16_t* gammaApplied;
  std::vector<SideNames> sides;
  const char16_t* frontSideSource = u"";  // both sides in one transfer: the side identifiers
  const char16_t* backSideSource = u"";
  const char16_t* frontSideStream = u"";
  const char16_t* backSideStream = u"";
};

ScanChoice FixedLength(ScanChoice choice) {
  choice.fixedLength = true;
  return choice;
}

const MetaCase kMetaCases[] = {
    {"GreySimplexWithAFrameOffset", Choice(ScanChoice::Kind::Gray, false, 200), "0", false, false, 500, 1000,
     u"SingleChannel", 8, u"On", u"0", {{u"Front", u"Front1", u"Gray1"}}},
    {"ColourDuplex", Choice(ScanChoice::Kind::Color, true, 100), "0", false, false, 0, 0, u"RGB", 24, u"On", u"0",
     {{u"Front", u"Front1", u"Color1"}, {u"Back", u"Back1", u"Color2"}}},
    // The model scans a mono stream as the grey one and says so.
    {"LineArtAsItsGreyStream", Choice(ScanChoice::Kind::LineArt, false, 200, true), "0", false, false, 0, 0,
     u"SingleChannel", 8, u"On", u"0", {{u"Front", u"Front1", u"Gray1"}}},
    {"NoOverScanOnAUnitWithoutTruncationLengths", Choice(ScanChoice::Kind::Gray, false, 200), "0", true, false, 0,
     0, u"SingleChannel", 8, u"Off", u"0", {{u"Front", u"Front1", u"Gray1"}}},
    {"NoOverScanWithoutItInTheFrame", FixedLength(Choice(ScanChoice::Kind::Gray, false, 200)), "0", false, false, 0,
     0, u"SingleChannel", 8, u"Off", u"0", {{u"Front", u"Front1", u"Gray1"}}},
    {"TheToneTableApplied", Choice(ScanChoice::Kind::Gray, false, 200), "0", false, true, 0, 0, u"SingleChannel", 8,
     u"On", u"1", {{u"Front", u"Front1", u"Gray1"}}},
    {"BothSidesInOneTransfer", Choice(ScanChoice::Kind::Gray, true, 200), "3", false, false, 0, 0, u"SingleChannel",
     8, u"On", u"0", {{u"Both", u"", u""}}, u"Front1", u"Back1", u"Gray1", u"Gray2"},
};

void PrintTo(const MetaCase& c, std::ostream* os) { *os << c.name; }

class ScanMetadataTest : public ScanTest, public ::testing::WithParamInterface<MetaCase> {};

TEST_P(ScanMetadataTest, EveryDocumentNamesTheSettingsAndTheWindow) {
  const MetaCase& c = GetParam();
  std::unique_ptr<DescriptionOverride> description;
  if (c.toneItem) {
    description = std::make_unique<DescriptionOverride>([](MSXML6StoreSTL& store) {
      ASSERT_TRUE(store.SelectNode(u"//Item[@Name='Stream'][@ID='Gray1']"));
      MSXML6StoreSTL item;
      ASSERT_TRUE(item.LoadFromString(u"<UseVRSGammaTable><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">On</Value>"
                                      u"<Value>Off</Value></Enum></UseVRSGammaTable>"));
      ASSERT_TRUE(item.SelectRoot());
      ASSERT_TRUE(store.AppendCopyOf(&item));
    });
  }
  OpenAndLock({"load 2 duplex", std::string("duplexmode ") + c.duplexMode});
  // The model's unit takes truncation lengths.
  ASSERT_NE(CRZDScannerSettingsBase::InquiryCopy().AbilityEx5 & 0x04, 0);
  if (c.noTruncation) {
    ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();
    inq.AbilityEx5 &= static_cast<uint8_t>(~0x04);
    CRZDScannerSettingsBase::SetInquiryCopy(inq);
  }
  std::vector<SettingEdit> edits = EditsFor(c.choice);
  const std::u16string chosen = c.choice.kind == ScanChoice::Kind::Color ? u"Color" : u"Gray";
  if (c.leftMils != 0 || c.topMils != 0) {
    edits.push_back(EditText(u"//Item[@ID='" + chosen + u"1']/Frame/Left", FromUtf8(std::to_string(c.leftMils))));
    edits.push_back(EditText(u"//Item[@ID='" + chosen + u"1']/Frame/Top", FromUtf8(std::to_string(c.topMils))));
  }
  ASSERT_LE(Apply(edits), 0x800Cu);
  const uint32_t lineBytes = WindowLineBytes();
  // The estimate is the window's length, of one side.
  const uint32_t estimate = WindowLinesPerSide();

  const std::vector<ReadCall> calls = ReadBatch(c.choice.jpeg ? 64 * 1024 : 16 * lineBytes);
  ASSERT_FALSE(calls.empty());
  ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
  std::map<std::u16string, int> docsBySide;
  for (const ReadCall& call : calls) {
    PageDoc doc(call.meta);
    ASSERT_TRUE(doc.Parsed());
    const std::u16string side = doc.Text(u"/Result/Address/Side");
    SCOPED_TRACE(ToUtf8(side));
    const SideNames* names = nullptr;
    for (const SideNames& s : c.sides) {
      if (side == s.side) names = &s;
    }
    ASSERT_NE(names, nullptr) << "an unexpected side";
    docsBySide[side] += 1;
    EXPECT_EQ(doc.Text(u"/Result/Address/DocumentSource"), u"ADF");
    EXPECT_EQ(doc.Text(u"/Result/Address/ImageSource"), names->imageSource);
    EXPECT_EQ(doc.Text(u"/Result/Address/Stream"), names->stream);
    EXPECT_EQ(doc.Text(u"/Result/Address/ImageSourceFrontSide"), c.frontSideSource);
    EXPECT_EQ(doc.Text(u"/Result/Address/ImageSourceBackSide"), c.backSideSource);
    EXPECT_EQ(doc.Text(u"/Result/Address/StreamFrontSide"), c.frontSideStream);
    EXPECT_EQ(doc.Text(u"/Result/Address/StreamBackSide"), c.backSideStream);
    EXPECT_EQ(doc.Text(u"/Result/Address/SideOrder"), u"0");
    EXPECT_EQ(doc.Text(u"/Result/Address/LinesPerSide"), u"16");
    EXPECT_EQ(doc.Text(u"/Result/Format/Pixels"), c.pixels);
    EXPECT_EQ(doc.Int(u"/Result/Format/BitsPerPixel"), c.bitsPerPixel);
    EXPECT_EQ(doc.Has(u"/Result/Format/Interleave"), c.pixels == std::u16string(u"RGB"));
    EXPECT_EQ(doc.Text(u"/Result/Address/OverScan"), c.overScan);
    EXPECT_EQ(doc.Text(u"/Result/GammaApplied"), c.gammaApplied);
    EXPECT_EQ(doc.Int(u"/Result/Resolutions/X"), c.choice.dpi);
    EXPECT_EQ(doc.Int(u"/Result/ImageDimensions/Left"), int64_t{c.choice.dpi} * c.leftMils / 1000);
    EXPECT_EQ(doc.Int(u"/Result/ImageDimensions/Top"), int64_t{c.choice.dpi} * c.topMils / 1000);
    EXPECT_EQ(doc.Int(u"/Result/EstimateLength"), estimate);
    EXPECT_EQ(doc.Int(u"/Result/EstimateImageSize"), int64_t{estimate} * lineBytes);
  }
  for (const SideNames& s : c.sides) EXPECT_GT(docsBySide[s.side], 0) << ToUtf8(s.side);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanMetadataTest, ::testing::ValuesIn(kMetaCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The MCU count of a JPEG side.

// The restart interval of a JPEG stream's DRI segment; 0 when it has none.
uint32_t RestartInterval(const std::vector<uint8_t>& stream) {
  for (size_t i = 0; i + 5 < stream.size(); ++i) {
    if (stream[i] == 0xFF && stream[i + 1] == 0xDD && stream[i + 2] == 0 && stream[i + 3] == 4)
      return static_cast<uint32_t>(stream[i + 4] << 8 | stream[i + 5]);
    if (stream[i] == 0xFF && stream[i + 1] == 0xDA) break;  // the scan data begins
  }
  return 0;
}

class ScanMcuTest : public ScanTest, public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(ScanMcuTest, ASidesLastDocumentCountsTheMcusOfARestartInterval) {
  OpenAndLock({"load 1 duplex", std::string("duplexmode ") + GetParam().first});
  ScanChoice choice = Choice(ScanChoice::Kind::Color, true, 200, true);
  choice.widthMils = 3000;  // with the over-scan 4000: 800 pixels, whole MCUs in every sampling
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  ASSERT_EQ(WindowLineBytes() / 3 % 16, 0u);
  const std::vector<ReadCall> calls = ReadBatch(64 * 1024);
  ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
  const auto sides = CollectSides(calls);
  ASSERT_EQ(sides.size(), 2u);
  for (const auto& [key, side] : sides) {
    SCOPED_TRACE(ToUtf8(key.second));
    const uint32_t interval = RestartInterval(side.bytes);
    EXPECT_EQ(interval != 0, GetParam().second);
    for (size_t i = 0; i < side.docs.size(); ++i) {
      PageDoc doc(side.docs[i]);
      const bool last = i + 1 == side.docs.size();
      EXPECT_EQ(doc.Int(u"/Result/Format/JPG_MCU"), last ? int64_t{interval} : 0) << "document " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ScanMcuTest,
                         ::testing::Values(std::make_pair("6", true), std::make_pair("0", false)),
                         [](const auto& info) {
                           return std::string(info.param.second ? "RestartPoints" : "NoRestartPoints") +
                                  info.param.first;
                         });

// ---- The description switch: the documents name the source of the description each page is read
// with.

struct SourceFormat {
  const char16_t* source;
  ScanChoice::Kind kind;
  int dpi;
  const char16_t* stream;
  const char16_t* pixels;
  int bits;
};
const SourceFormat kSourceFormats[] = {
    {u"ADF", ScanChoice::Kind::Color, 100, u"Color1", u"RGB", 24},
    {u"RearTray", ScanChoice::Kind::Gray, 150, u"Gray1", u"SingleChannel", 8},
    {u"Tray3", ScanChoice::Kind::Color, 150, u"Color1", u"RGB", 24},
};

struct SwitchCase {
  const char* name;
  int sources;                              // 2: ADF (primary), RearTray (alternate); 3: and Tray3 (third)
  std::vector<std::string> sheets;          // unit lines that load the sheets
  std::vector<std::vector<const char16_t*>> scans;  // per scan, per page: the source it names
};

// Short sheets (20 lines): a side comes in one call, so its only document is written after the
// page's end, where the read loop makes the switch for the next page.
const SwitchCase kSwitchCases[] = {
    // Two sources and no media kind: the alternate description from the scan's first page on.
    {"TheAlternateFromTheStart", 2, {"load 2 duplex lines=20"}, {{u"RearTray", u"RearTray"}}},
    {"TheThirdFromTheStart", 3, {"load 2 duplex lines=20"}, {{u"Tray3", u"Tray3"}}},
    // A sheet of media kind A is read with the primary description and ends its scan; the switch
    // made at its end is the next scan's.
    {"AKindASheetKeepsThePrimary", 2, {"load 1 duplex kind=a lines=20", "load 1 duplex lines=20"},
     {{u"ADF"}, {u"RearTray"}}},
    // Kind B with a third description selects the alternate for its sheet; the switch at its end
    // goes to the third.
    {"AKindBSheetTakesTheAlternate", 3, {"load 1 duplex kind=b lines=20", "load 1 duplex lines=20"},
     {{u"RearTray"}, {u"Tray3"}}},
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class ScanSwitchTest : public ScanTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(ScanSwitchTest, EachPageNamesTheSourceOfItsDescription) {
  const SwitchCase& c = GetParam();
  DescriptionOverride description([&](MSXML6StoreSTL& store) {
    AddSource(store, u"RearTray");
    if (c.sources == 3) AddSource(store, u"Tray3");
  });
  OpenAndLock(c.sheets);
  std::vector<SettingEdit> edits;
  for (int i = 0; i < c.sources; ++i) {
    const SourceFormat& f = kSourceFormats[i];
    const std::vector<SettingEdit> own = Under(f.source, EditsFor(Choice(f.kind, false, f.dpi)));
    edits.insert(edits.end(), own.begin(), own.end());
  }
  ASSERT_LE(Apply(edits), 0x800Cu);
  ASSERT_EQ(Driver().m_pSettings->m_bAlternateDefined, 1);
  ASSERT_EQ(Driver().m_pSettings->m_bThirdDefined, c.sources == 3 ? 1 : 0);

  for (size_t scan = 0; scan < c.scans.size(); ++scan) {
    SCOPED_TRACE("scan " + std::to_string(scan));
    const std::vector<ReadCall> calls = ReadBatch(1u << 20);
    ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
    ASSERT_EQ(calls.back().boundary, 6u);
    std::vector<int64_t> pages;
    for (const ReadCall& call : calls) {
      PageDoc doc(call.meta);
      const int64_t page = doc.Int(u"/Result/Address/Page");
      if (pages.empty() || pages.back() != page) pages.push_back(page);
      const size_t index = pages.size() - 1;
      ASSERT_LT(index, c.scans[scan].size()) << "more pages than sheets";
      const std::u16string source = c.scans[scan][index];
      const SourceFormat* f = nullptr;
      for (const SourceFormat& s : kSourceFormats) {
        if (source == s.source) f = &s;
      }
      ASSERT_NE(f, nullptr);
      SCOPED_TRACE("page " + std::to_string(page));
      EXPECT_EQ(doc.Text(u"/Result/Address/DocumentSource"), f->source);
      EXPECT_EQ(doc.Text(u"/Result/Address/ImageSource"), u"Front1");
      EXPECT_EQ(doc.Text(u"/Result/Address/Stream"), f->stream);
      EXPECT_EQ(doc.Text(u"/Result/Format/Pixels"), f->pixels);
      EXPECT_EQ(doc.Int(u"/Result/Format/BitsPerPixel"), f->bits);
      EXPECT_EQ(doc.Int(u"/Result/Resolutions/X"), f->dpi);
    }
    EXPECT_EQ(pages.size(), c.scans[scan].size());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanSwitchTest, ::testing::ValuesIn(kSwitchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The document's trace and its failure lines.

class MetadataLinesTest : public ScanTest {
 protected:
  static constexpr char16_t kFeature[] = u"RZD REduzid LLD";

  ScanSteps::MetaCall Call(uint32_t lines, std::u16string_view source) {
    ScanSteps::MetaCall call;
    call.window = Driver().m_pSettings->GetWindowDescription();
    call.lines = lines;
    call.bytes = lines * 100;
    call.sourceId = source;
    return call;
  }
};

TEST_F(MetadataLinesTest, TheDocumentTracesItsCallAndTheTextItWrote) {
  OpenAndLock();
  ASSERT_LE(Apply(EditsFor(Choice(ScanChoice::Kind::Gray, false, 200))), 0x800Cu);
  const ReduzidWindowDescriptor window = *Driver().m_pSettings->GetWindowDescription();
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({kFeature}));
  BSTR document = nullptr;
  ASSERT_TRUE(Driver().GenerateMetaData(window, 3, 300, false, &document, u"ADF", 0, 0, 0, false, 0));
  const std::u16string text(BstrView(document));
  SysFreeString(document);
  EXPECT_TRUE(PageDoc(text).Parsed());
  const std::u16string slot = FormatW(u"0x%X", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&document)));
  EXPECT_EQ(log.Count(u"GenerateMetaData Entered."), 1u) << log.All();
  EXPECT_EQ(log.Count(u"GenerateMetaData: dwLines = 3, bEndOfImage = 0, pstrMetaData = " + slot), 1u) << log.All();
  EXPECT_EQ(log.Count(u"GenerateMetaData: *pstrMetaData = \r\n" + text), 1u) << log.All();
  EXPECT_EQ(log.Count(u"GenerateMetaData Exited: (TRUE)"), 1u) << log.All();

  // A source the settings do not have: the failure's line, no document, and the trace's end.
  log.Clear();
  document = nullptr;
  EXPECT_FALSE(Driver().GenerateMetaData(window, 3, 300, false, &document, u"Flatbed", 0, 0, 0, false, 0));
  EXPECT_EQ(document, nullptr);
  EXPECT_EQ(log.Count(LOG_LEVEL_ERROR, u"GenerateMetaData failed because strTemp.find(DocumentSources) failed"), 1u)
      << log.All();
  EXPECT_EQ(log.Count(u"GenerateMetaData Exited: (FALSE)"), 1u) << log.All();
}

// An element the template does not carry fails the document with that element's own line.
TEST_F(MetadataLinesTest, AnElementTheTemplateLacksFailsTheDocumentWithItsLine) {
  OpenAndLock();
  ASSERT_LE(Apply(EditsFor(Choice(ScanChoice::Kind::Gray, false, 200))), 0x800Cu);
  Bstr shapeText;
  ASSERT_TRUE(CRZDBaseLLD::GetXMLfromResources(&kModuleAnchor, kReadResultResourceId, shapeText.Out()));
  struct Case {
    const char16_t* element;  // below /Result
    const char16_t* line;
  };
  const Case cases[] = {
      {u"EstimateLength", u"GenerateMetaData failed because SetInt(EstimateLength) failed"},
      {u"Address/NumberOfLines", u"GenerateMetaData failed because SetInt(NumberOfLines) failed"},
      {u"Address/ScanMode", u"GenerateMetaData failed because SetString(ScanMode) failed"},
      {u"Address/DocumentSource", u"GenerateMetaData failed because SetString(DocumentSource) failed"},
      {u"ImageDimensions/Top", u"GenerateMetaData failed because SetInt(Top) failed"},
      {u"GammaApplied", u"GenerateMetaData failed because SetString(GammaApplied) failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.element));
    MSXML6StoreSTL store;
    ASSERT_TRUE(store.LoadFromString(shapeText.View()));
    ASSERT_TRUE(store.SelectNode(u"/Result/" + std::u16string(c.element)));
    ASSERT_TRUE(store.RemoveContextNode());
    std::u16string text;
    ASSERT_TRUE(store.GetDocumentXML(text));
    const std::unique_ptr<ReadResultTemplate> shape = ReadResultTemplate::Parse(text);
    ASSERT_NE(shape, nullptr);
    rzd::test::LogCapture log(rzd::test::LogCapture::WithData({kFeature}));
    const Bstr before(u"not a document");
    BSTR document = before.Get();  // the slot is cleared first
    EXPECT_FALSE(ScanSteps::Metadata(Driver(), Call(5, u"ADF"), false, *shape, &document));
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(log.Count(LOG_LEVEL_ERROR, c.line), 1u) << log.All();
    // The first missing element ends the document: one failure line.
    size_t failures = 0;
    for (const auto& line : log.Lines()) failures += line.text.rfind(u"GenerateMetaData failed", 0) == 0 ? 1 : 0;
    EXPECT_EQ(failures, 1u) << log.All();
  }
  // The whole template writes a document.
  const std::unique_ptr<ReadResultTemplate> whole = ReadResultTemplate::Parse(shapeText.View());
  ASSERT_NE(whole, nullptr);
  BSTR document = nullptr;
  EXPECT_TRUE(ScanSteps::Metadata(Driver(), Call(5, u"ADF"), false, *whole, &document));
  EXPECT_EQ(PageDoc(std::u16string(BstrView(document))).Int(u"/Result/Address/NumberOfLines"), 5);
  SysFreeString(document);
}

}  // namespace
}  // namespace rzd::lowdrv::test
