// The roads of a batch besides the plain one, through the exported Control and Read against
// rzd-engine: the double-feed pause, a blank side, fixed-length sides filled up, a cropped sheet,
// a sheet of media kind A, JPEG headers made by the unit, the request-size rule, refused buffers
// and windows, the lamp, the quality held in range, the page counter. Decoded colour pages of
// each road are left as pictures.
#include "jpeg_decode.h"
#include "scan_fixture.h"
#include "testsupport/pictures.h"

#include <algorithm>
#include <ostream>

namespace rzd::lowdrv::test {
namespace {

class ScanPathsTest : public ScanTest {
 protected:
  // A whole batch that must end well.
  std::vector<ReadCall> GoodBatch(uint32_t size = 1u << 20) {
    std::vector<ReadCall> calls = ReadBatch(size);
    EXPECT_FALSE(calls.empty());
    for (const ReadCall& c : calls) EXPECT_TRUE(c.ok) << ToUtf8(c.meta);
    if (!calls.empty()) {
      EXPECT_EQ(calls.back().boundary, 6u);
    }
    return calls;
  }
  // Writes decoded RGB (or grey) samples as a picture.
  static void Picture(const std::string& name, uint32_t width, uint32_t height, int components,
                      const std::vector<uint8_t>& samples) {
    std::vector<gdi::Rgb> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
      const uint8_t* p = samples.data() + i * static_cast<size_t>(components);
      pixels[i] = components == 3 ? gdi::Rgb{p[0], p[1], p[2]} : gdi::Rgb{p[0], p[0], p[0]};
    }
    EXPECT_TRUE(rzd::test::WritePng(rzd::test::PicturesDir() / (name + ".png"), static_cast<int32_t>(width),
                                    static_cast<int32_t>(height), pixels));
  }
};

TEST_F(ScanPathsTest, TheDoubleFeedPauseReportsThePageAndGoesOnWithTheNextSheet) {
  OpenAndLock({"load 3 duplex", "multifeed 2 back"});
  ScanChoice choice = Grey();
  choice.dfdAction = u"StopAndContinue";
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  const std::vector<ReadCall> calls = GoodBatch();
  int pageEnds = 0;
  for (const ReadCall& c : calls) {
    PageDoc doc(c.meta);
    const bool paused = doc.Has(u"/Result/ErrorCode");
    if (c.boundary >= 3) ++pageEnds;
    // Only the last document of the double-fed page tells of the pause.
    const bool pageTwoEnd = c.boundary == 3 && doc.Int(u"/Result/Address/Page") == 2;
    EXPECT_EQ(paused, pageTwoEnd);
    if (paused) {
      EXPECT_EQ(doc.Int(u"/Result/ErrorCode"), 70);
      EXPECT_FALSE(doc.Text(u"/Result/Description").empty());
    }
  }
  EXPECT_EQ(pageEnds, 3);
  const auto sides = CollectSides(calls);
  const uint32_t line = WindowLineBytes();
  const uint32_t lines = WindowLinesPerSide();
  for (uint32_t sheet = 1; sheet <= 3; ++sheet) {
    EXPECT_TRUE(sides.at({sheet, u"Front"}).bytes == PatternSide(sheet, 0, lines, line)) << sheet;
    EXPECT_TRUE(sides.at({sheet, u"Back"}).bytes == PatternSide(sheet, 1, lines, line)) << sheet;
  }
}

TEST_F(ScanPathsTest, ABlankSideIsDeliveredAndMarked) {
  OpenAndLock({"load 3 duplex", "blank 2 back"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  const auto sides = CollectSides(GoodBatch());
  const SideData& blank = sides.at({2, u"Back"});
  EXPECT_TRUE(std::all_of(blank.bytes.begin(), blank.bytes.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(PageDoc(blank.docs.back()).Has(u"/Result/PageWasBlank"));
  for (const auto& [key, side] : sides) {
    if (key == std::make_pair(int64_t{2}, std::u16string(u"Back"))) continue;
    for (const std::u16string& doc : side.docs) EXPECT_FALSE(PageDoc(doc).Has(u"/Result/PageWasBlank"));
  }
}

TEST_F(ScanPathsTest, ShortSheetsOfAFixedLengthAreFilledWithTheBackground) {
  OpenAndLock({"load 2 duplex lines=100"});
  ScanChoice choice = Grey();
  choice.fixedLength = true;
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  const uint32_t line = WindowLineBytes();
  const uint32_t lines = WindowLinesPerSide();
  ASSERT_GT(lines, 100u);
  const std::vector<ReadCall> calls = GoodBatch(64 * 1024);
  int twos = 0;
  for (const ReadCall& c : calls) twos += c.boundary == 2 ? 1 : 0;
  EXPECT_EQ(twos, 2);
  const auto sides = CollectSides(calls);
  for (uint32_t sheet = 1; sheet <= 2; ++sheet) {
    for (uint32_t face = 0; face < 2; ++face) {
      SCOPED_TRACE(std::to_string(sheet) + " " + std::to_string(face));
      const SideData& side = sides.at({sheet, face ? u"Back" : u"Front"});
      std::vector<uint8_t> expected = PatternSide(sheet, face, 100, line);
      expected.resize(static_cast<size_t>(lines) * line, engine::BackgroundByteOf(face));  // the side's own
      EXPECT_TRUE(side.bytes == expected);
      PageDoc last(side.docs.back());
      EXPECT_EQ(last.Int(u"/Result/ImageDimensions/Length"), lines);
      EXPECT_EQ(last.Int(u"/Result/ImageDimensions/AddLines"), lines - 100);
      EXPECT_EQ(last.Int(u"/Result/ImageSize"), static_cast<int64_t>(expected.size()));
    }
  }
}

TEST_F(ScanPathsTest, ACroppingWindowTakesTheWidthTheUnitFound) {
  OpenAndLock({"load 2 duplex width=300"});
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Color;
  choice.autoCrop = true;
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  ASSERT_GT(WindowLineBytes(), 900u);
  const uint32_t lines = WindowLinesPerSide();
  const auto sides = CollectSides(GoodBatch(256 * 1024));
  for (uint32_t sheet = 1; sheet <= 2; ++sheet) {
    for (uint32_t face = 0; face < 2; ++face) {
      SCOPED_TRACE(std::to_string(sheet) + " " + std::to_string(face));
      const SideData& side = sides.at({sheet, face ? u"Back" : u"Front"});
      EXPECT_TRUE(side.bytes == PatternSide(sheet, face, lines, 900));
      PageDoc last(side.docs.back());
      EXPECT_EQ(last.Int(u"/Result/Format/BytesPerLine"), 900);
      EXPECT_EQ(last.Int(u"/Result/ImageDimensions/Width"), 300);
      EXPECT_EQ(last.Text(u"/Result/Address/Crop"), u"On");
    }
  }
}

TEST_F(ScanPathsTest, ASheetOfMediaKindAScansItsBackAloneAndEndsTheScan) {
  OpenAndLock({"load 1 duplex kind=a", "load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey(false))), 0x800Cu);
  const uint32_t line = WindowLineBytes();
  const uint32_t lines = WindowLinesPerSide();
  const std::vector<ReadCall> calls = GoodBatch();
  const auto sides = CollectSides(calls);
  ASSERT_EQ(sides.size(), 1u);
  EXPECT_TRUE(sides.at({1, u"Back"}).bytes == PatternSide(1, 1, lines, line));
  EXPECT_NE(Control("state").find("feeder=1"), std::string::npos);
}

class EngineHeadersTest : public ScanPathsTest, public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(EngineHeadersTest, EverySideIsACompleteStreamNamingTheUnit) {
  OpenAndLock({"jpegheaders engine", "load 2 duplex", std::string("duplexmode ") + GetParam().first});
  ASSERT_LE(Apply(EditsFor(ColourJpeg(GetParam().second))), 0x800Cu);
  const uint32_t lines = WindowLinesPerSide();
  const auto sides = CollectSides(GoodBatch(64 * 1024));
  EXPECT_EQ(sides.size(), GetParam().second ? 4u : 2u);
  for (const auto& [key, side] : sides) {
    SCOPED_TRACE(std::to_string(key.first) + " " + ToUtf8(key.second));
    const Decoded d = DecodeJpeg(side.bytes);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.warnings, 0) << d.error;
    EXPECT_EQ(d.height, lines);
    const std::string text(side.bytes.begin(), side.bytes.begin() + std::min<size_t>(side.bytes.size(), 1024));
    EXPECT_NE(text.find(std::string("Quarx M48tz Scanner") + '\0'), std::string::npos);
    EXPECT_NE(text.find(std::string("Quarx") + '\0'), std::string::npos);
    EXPECT_EQ(text.find(std::string("M48tz") + '\0'), std::string::npos) << "the unit's own model name stayed";
    PageDoc last(side.docs.back());
    EXPECT_EQ(last.Int(u"/Result/ImageSize"), static_cast<int64_t>(side.bytes.size()));
    if (key == std::make_pair(int64_t{1}, std::u16string(u"Front")) && std::string(GetParam().first) == "6")
      Picture("scan_engine_jpeg_colour_page1_front", d.width, d.height, d.components, d.pixels);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineHeadersTest,
                         ::testing::Values(std::make_pair("0", false), std::make_pair("0", true),
                                           std::make_pair("5", true), std::make_pair("6", true)),
                         [](const auto& info) {
                           return std::string(info.param.second ? "Duplex" : "Simplex") + info.param.first;
                         });

TEST_F(ScanPathsTest, ColourPagesOfBothRoadsAsPictures) {
  OpenAndLock({"load 2 duplex"});
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Color;
  choice.dpi = 150;
  choice.widthMils = 8500;
  choice.lengthMils = 11000;
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  const uint32_t line = WindowLineBytes();
  const uint32_t lines = WindowLinesPerSide();
  {
    const auto sides = CollectSides(GoodBatch());
    const SideData& front = sides.at({1, u"Front"});
    ASSERT_EQ(front.bytes.size(), static_cast<size_t>(line) * lines);
    Picture("scan_raw_colour_page1_front", line / 3, lines, 3, front.bytes);
  }
  choice.jpeg = true;
  ASSERT_EQ(Control("load 1 duplex").rfind("ok", 0), 0u);
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  const auto sides = CollectSides(GoodBatch());
  const Decoded d = DecodeJpeg(sides.begin()->second.bytes);
  ASSERT_TRUE(d.ok) << d.error;
  Picture("scan_jpeg_colour_page1_front", d.width, d.height, d.components, d.pixels);
}

TEST_F(ScanPathsTest, ASmallerBufferWithinASideAsksForALargerOne) {
  OpenAndLock({"load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey(false))), 0x800Cu);
  const uint32_t line = WindowLineBytes();
  std::vector<ReadCall> calls;
  calls.push_back(ReadOnce(64 * line));
  ASSERT_TRUE(calls.back().ok);
  const ReadCall retry = ReadOnce(8 * line);
  EXPECT_FALSE(retry.ok);
  EXPECT_EQ(retry.result, 77u);
  EXPECT_EQ(retry.boundary, 1u);
  EXPECT_TRUE(retry.data.empty());
  const std::vector<ReadCall> rest = ReadBatch(64 * line);
  calls.insert(calls.end(), rest.begin(), rest.end());
  ASSERT_TRUE(calls.back().ok);
  EXPECT_EQ(calls.back().boundary, 6u);
  EXPECT_TRUE(CollectSides(calls).at({1, u"Front"}).bytes == PatternSide(1, 0, WindowLinesPerSide(), line));
}

TEST_F(ScanPathsTest, ABufferBelowOneLinePairOfADuplexPageIsRefused) {
  OpenAndLock({"load 2 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  const ReadCall call = ReadOnce(WindowLineBytes());
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, lld::kInvalidParameter);
  EXPECT_EQ(call.boundary, 6u);
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
  // The sheet of the refused scan left the unit; the next one scans.
  const std::vector<ReadCall> calls = GoodBatch();
  EXPECT_EQ(CollectSides(calls).size(), 2u);
}

TEST_F(ScanPathsTest, ALampWarmingUpLeavesTheUnitWarmingAndTheNextScanWorks) {
  OpenAndLock({"load 1 duplex", "lamp warming"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  const ReadCall call = ReadOnce(1u << 20);
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, lld::kLampWarmingUp);
  EXPECT_EQ(call.boundary, 6u);
  EXPECT_EQ(Driver().m_ulStatus, state::kWarmingUp);
  ASSERT_EQ(Control("lamp ready").rfind("ok", 0), 0u);
  GoodBatch();
  EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
}

TEST_F(ScanPathsTest, AWindowWithoutBytesPerLineIsRefused) {
  OpenAndLock({"load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  ReduzidWindowDescriptor& w = Driver().m_pSettings->m_Primary.Desc;
  w.PixelNum = 0;
  w.HiBytePixelNum = 0;
  TakeUnitLog();
  const ReadCall call = ReadOnce(1u << 20);
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, lld::kInvalidXmlValue);
  EXPECT_EQ(call.boundary, 6u);
  for (const std::string& block : TakeUnitLog()) EXPECT_EQ(block.find("new 12: E4"), std::string::npos) << "a window was sent";
}

TEST_F(ScanPathsTest, AQualityOutsideItsRangeIsHeldWithinIt) {
  OpenAndLock();
  ASSERT_LE(Apply(EditsFor(ColourJpeg(false))), 0x800Cu);
  // Quality 0 is held at 1 (scale 5000: every entry 255); 200 at 100 (scale 0: the model's own
  // tables).
  std::vector<uint8_t> all255(kJPEGTablesSize, 255);
  std::vector<uint8_t> model(kModelQuantTables, kModelQuantTables + kJPEGTablesSize);
  struct Case {
    uint8_t quality;
    const std::vector<uint8_t>* tables;
  };
  for (const Case c : {Case{0, &all255}, Case{200, &model}}) {
    SCOPED_TRACE(static_cast<int>(c.quality));
    Driver().m_pSettings->m_Primary.Desc.ModelBytes[0] = c.quality;
    ASSERT_EQ(Control("load 1 duplex").rfind("ok", 0), 0u);
    TakeUnitLog();
    const std::vector<ReadCall> calls = ReadBatch(1u << 20, 2);
    ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
    std::vector<uint8_t> tables(Driver().m_Scan.luminance.begin(), Driver().m_Scan.luminance.end());
    tables.insert(tables.end(), Driver().m_Scan.chrominance.begin(), Driver().m_Scan.chrominance.end());
    EXPECT_EQ(tables, *c.tables);
    // The quality byte reaches the unit as 0x80.
    bool windowSeen = false;
    const std::vector<std::string> log = TakeUnitLog();
    for (size_t i = 0; i + 1 < log.size(); ++i) {
      if (log[i].rfind("new 12: E4", 0) != 0) continue;
      windowSeen = true;
      EXPECT_EQ(log[i + 1].substr(log[i + 1].find(':') + 1 + 3 * 47, 3), " 80") << log[i + 1];
    }
    EXPECT_TRUE(windowSeen);
    ReadBatch(1u << 20);  // the rest of the page
  }
}

TEST_F(ScanPathsTest, ThePageCounterRunsOnAcrossScansFromTheNumberSet) {
  OpenAndLock({"load 4 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey(false))), 0x800Cu);
  ASSERT_EQ(Call(cc::kSetPageNumber, 7), 0u);
  Control("empty");
  Control("load 2 duplex");
  const std::vector<ReadCall> first = GoodBatch();
  EXPECT_EQ(PageDoc(first.front().meta).Int(u"/Result/Address/Page"), 7);
  EXPECT_EQ(PageDoc(first.back().meta).Int(u"/Result/Address/Page"), 8);
  Control("load 1 duplex");
  const std::vector<ReadCall> second = GoodBatch();
  EXPECT_EQ(PageDoc(second.front().meta).Int(u"/Result/Address/Page"), 9);
  for (const ReadCall& c : second) EXPECT_EQ(PageDoc(c.meta).Int(u"/Result/Address/Image"), 1);
}

}  // namespace
}  // namespace rzd::lowdrv::test

namespace rzd::lowdrv::test {
namespace {

// The sides a scan takes; the unit delivers the background raster of both, the front's first.
struct BackgroundCase {
  const char* name;
  bool front;
  bool back;
};
const BackgroundCase kBackgroundCases[] = {
    {"Duplex", true, true},
    {"FrontOnly", true, false},
    {"BackOnly", false, true},
};
void PrintTo(const BackgroundCase& c, std::ostream* out) { *out << c.name; }
class StoredBackgroundTest : public ScanPathsTest, public ::testing::WithParamInterface<BackgroundCase> {};

// The background data the driver keeps: a line of the front's raster, then a line of the back's,
// for a duplex scan; for a one-sided scan the line of its own side's raster.
TEST_P(StoredBackgroundTest, TheBackgroundOfTheLastScanComesWithItsLastDocument) {
  const BackgroundCase& c = GetParam();
  OpenAndLock({"load 1 duplex"});
  std::vector<SettingEdit> edits = EditsFor(Grey(c.back));
  if (!c.front) edits.push_back(DropAttr(u"//Item[@ID='Front1']", u"IsSet"));
  ASSERT_LE(Apply(edits), 0x800Cu);
  ASSERT_EQ(Driver().m_pSettings->GetWindowDescription()->SetCapEx1 & 0x18, !c.front ? 0x08 : c.back ? 0x10 : 0x00);
  const std::vector<ReadCall> calls = GoodBatch();
  const uint32_t line = WindowLineBytes();
  std::vector<uint8_t> expected;
  if (c.front) expected.resize(line, engine::kBackgroundByte);
  if (c.back) expected.resize(expected.size() + line, engine::kBackBackgroundByte);
  uint32_t size = 0;
  BSTR meta = nullptr;
  BSTR error = nullptr;
  std::vector<uint8_t> background(4 * line, 0);
  size = 1;  // too small: the size comes back
  EXPECT_FALSE(::Control(handle_, cc::kBackgroundData, nullptr, &meta, nullptr, 0, background.data(), &size, &error));
  SysFreeString(error);
  error = nullptr;
  EXPECT_EQ(size, expected.size());
  EXPECT_TRUE(::Control(handle_, cc::kBackgroundData, nullptr, &meta, nullptr, 0, background.data(), &size, &error));
  SysFreeString(error);
  background.resize(size);
  EXPECT_TRUE(background == expected) << "a line of each side the scan takes, the front's first";
  EXPECT_EQ(std::u16string(BstrView(meta)), calls.back().meta);
  SysFreeString(meta);
}

INSTANTIATE_TEST_SUITE_P(Sides, StoredBackgroundTest, ::testing::ValuesIn(kBackgroundCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanPathsTest, TheSeparateBackgroundScanReadsALineOfEachSide) {
  OpenAndLock({"load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  uint32_t size = 0;
  EXPECT_EQ(Driver().ReadBackground(nullptr, &size), lld::kWrongParameter);
  std::vector<uint8_t> buffer(64, 0);
  size = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(Driver().ReadBackground(buffer.data(), &size), lld::kWrongParameter);  // below two lines
  buffer.assign(1u << 16, 0);
  size = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(Driver().ReadBackground(buffer.data(), &size), 0u);
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
}

}  // namespace
}  // namespace rzd::lowdrv::test

namespace rzd::lowdrv::test {
namespace {

// A batch in mode 5 (front, then back) leaves its side flags behind; a JPEG batch in mode 3
// after it must still follow the unit's alternating transfers.
TEST_F(ScanPathsTest, ModeThreeAfterModeFiveStillAlternatesTheSides) {
  OpenAndLock({"load 1 duplex", "duplexmode 5"});
  ASSERT_LE(Apply(EditsFor(ColourJpeg())), 0x800Cu);
  GoodBatch();
  ASSERT_EQ(Control("duplexmode 3").rfind("ok", 0), 0u);
  ASSERT_EQ(Control("load 1 duplex").rfind("ok", 0), 0u);
  const auto sides = CollectSides(GoodBatch(64 * 1024));
  ASSERT_EQ(sides.size(), 2u);
  for (const auto& [key, side] : sides) {
    const Decoded d = DecodeJpeg(side.bytes);
    EXPECT_TRUE(d.ok && d.warnings == 0) << ToUtf8(key.second) << ": " << d.error;
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
